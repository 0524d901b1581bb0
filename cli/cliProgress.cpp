#include "cli/cliProgress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <QStringList>
#include <algorithm>

namespace {
constexpr int RedrawMs = 100;  // a terminal line is redrawn at most this often
constexpr int BarWidth = 20;

int TerminalWidth(FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 10) return size.ws_col;
    return 80;
}
}  // namespace

TCliProgress::TCliProgress(bool terminal, FILE* out) : terminal_(terminal), out_(out) {}

int TCliProgress::Add(const QString& label) {
    items_.push_back({label, QString(), -1, -1});
    return int(items_.size()) - 1;
}

void TCliProgress::Set(int id, const QString& phase, int percent) {
    if (id < 0 || id >= int(items_.size())) return;
    TItem& item = items_[size_t(id)];
    const bool newPhase = item.Phase != phase;
    item.Phase = phase;
    item.Percent = percent;
    if (terminal_) return Draw(newPhase);
    const int step = percent < 0 ? -1 : percent / 10 * 10;
    if (!newPhase && step == item.Printed) return;
    item.Printed = step;
    const QString text = step < 0 ? QStringLiteral("%1: %2").arg(item.Label, phase)
                                  : QStringLiteral("%1: %2 %3%").arg(item.Label, phase).arg(step);
    std::fprintf(out_, "%s\n", text.toLocal8Bit().constData());
    std::fflush(out_);
}

void TCliProgress::Done(int id, bool ok) {
    if (!terminal_ || id < 0 || id >= int(items_.size())) return;
    items_[size_t(id)].Phase = ok ? QStringLiteral("done") : QStringLiteral("failed");
    items_[size_t(id)].Percent = -1;
    Draw(true);
}

void TCliProgress::Line(const QString& text) {
    Clear();
    std::fprintf(out_, "%s\n", text.toLocal8Bit().constData());
    if (terminal_) Draw(true);
    std::fflush(out_);
}

void TCliProgress::Finish() {
    Clear();
    std::fflush(out_);
}

void TCliProgress::Clear() {
    if (!terminal_ || shownWidth_ == 0) return;
    std::fprintf(out_, "\r%*s\r", shownWidth_, "");
    shownWidth_ = 0;
}

void TCliProgress::Draw(bool force) {
    if (!force && drawn_.isValid() && drawn_.elapsed() < RedrawMs) return;
    drawn_.start();
    QStringList parts;
    for (const TItem& item : items_) {
        QString part = item.Label + QLatin1Char(' ') + item.Phase;
        if (item.Percent >= 0) {
            const int filled = item.Percent * BarWidth / 100;
            if (items_.size() == 1)
                part += QStringLiteral(" [%1%2]").arg(QString(filled, '#'), QString(BarWidth - filled, '.'));
            part += QStringLiteral(" %1%").arg(item.Percent);
        }
        parts << part;
    }
    QString line = parts.join(QStringLiteral(" | "));
    const int width = TerminalWidth(out_) - 1;
    if (line.size() > width) line = line.left(width);
    const QByteArray bytes = line.toLocal8Bit();
    std::fprintf(out_, "\r%s", bytes.constData());
    if (int(line.size()) < shownWidth_) std::fprintf(out_, "%*s", shownWidth_ - int(line.size()), "");
    shownWidth_ = std::max(shownWidth_, int(line.size()));
    std::fflush(out_);
}
