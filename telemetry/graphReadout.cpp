#include "telemetry/graphReadout.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/CalcAI.h"
#include "telemetry/graphPaint.h"
#include "telemetry/statusChannels.h"

namespace {

QString Value(const TLoopBuf& buffer, double v) {
    return buffer.Name + QStringLiteral(": ") + ScaledText(v, buffer.Scale, TCalcAI::DecimalSeparator());
}

}  // namespace

TReadout ReadoutAt(const TGraphData& G, uint8_t plotMode, int H, int W, int M, QPoint p) {
    TReadout r;
    const QChar point = TCalcAI::DecimalSeparator();
    if (plotMode == 2) {
        if (!(G.PlotXMax > G.PlotXMin) || !(G.PlotYMax > G.PlotYMin) || W <= 0 || H <= 0) return r;
        const double xv = (p.x() - W * 0.05) / (W * 0.9) * (G.PlotXMax - G.PlotXMin) + G.PlotXMin;
        const double yv = (H - p.y() - H * 0.05) / (H * 0.9) * (G.PlotYMax - G.PlotYMin) + G.PlotYMin;
        const TLoopBuf* horizontal = nullptr;
        for (const TLoopBuf& buffer : G.Buffers) {
            if (!buffer.Visible) continue;
            if (horizontal == nullptr) {
                horizontal = &buffer;
                continue;
            }
            r.Lines.push_back({horizontal->Color, Value(*horizontal, xv)});
            r.Lines.push_back({buffer.Color, Value(buffer, yv)});
            horizontal = nullptr;
        }
        r.X = p.x();
        r.Y = p.y();
        r.Valid = !r.Lines.empty();
        return r;
    }
    const int k = TGraphPainter(G, H, W, M).StepsAt(p.x(), &r.X);
    if (k < 1) return r;
    // The age heads the lines; a channel whose sample is of another age says so on its own line.
    QString heading;
    for (const TLoopBuf& buffer : G.Buffers) {
        if (!buffer.Visible || buffer.GetCount() <= k) continue;
        QString text = Value(buffer, buffer.Back(k));
        if (!buffer.Times.empty()) {
            const QString age = QStringLiteral("%1 s ago")
                                    .arg(QString::number(buffer.TimeBack(1) - buffer.TimeBack(k), 'f', 2)
                                             .replace(QLatin1Char('.'), point));
            if (heading.isEmpty()) heading = age;
            if (age != heading) text += QStringLiteral("   ") + age;
        }
        r.Lines.push_back({buffer.Color, text});
    }
    if (!heading.isEmpty()) r.Lines.insert(r.Lines.begin(), {QColor(), heading});
    r.Valid = !r.Lines.empty();
    return r;
}

namespace {

struct TLayout {
    int X = 0;
    int Y = -1;
    QRect Box;
    QRect Covered;
    int Line = 0;
    int Swatch = 0;
};

// The cursor at the readout's column (and row), the box to its right, or to its left near the edge.
TLayout Layout(const TReadout& readout, double scale, const QSize& size, const QFontMetrics& metrics) {
    TLayout l;
    l.X = static_cast<int>(std::lrint(readout.X / scale));
    l.Covered = QRect(l.X - 1, 0, 3, size.height());
    int top = 8;
    if (readout.Y >= 0) {
        l.Y = static_cast<int>(std::lrint(readout.Y / scale));
        l.Covered |= QRect(0, l.Y - 1, size.width(), 3);
        top = l.Y + 8;
    }
    l.Line = metrics.height();
    l.Swatch = l.Line - 4;
    int width = 0;
    for (const TReadoutLine& line : readout.Lines)
        width = std::max(width, metrics.horizontalAdvance(line.Text));
    l.Box = QRect(0, 0, width + l.Swatch + 14, static_cast<int>(readout.Lines.size()) * l.Line + 8);
    l.Box.moveLeft(l.X + 8 + l.Box.width() <= size.width() ? l.X + 8 : std::max(0, l.X - 8 - l.Box.width()));
    l.Box.moveTop(std::max(0, std::min(top, size.height() - l.Box.height())));
    l.Covered |= l.Box.adjusted(-1, -1, 1, 1);
    return l;
}

}  // namespace

QRect ReadoutCover(const TReadout& readout, double scale, const QSize& size, const QFontMetrics& metrics) {
    return readout.Valid ? Layout(readout, scale, size, metrics).Covered : QRect();
}

void PaintReadout(QPainter& canvas, const TReadout& readout, double scale, const QSize& size,
                  const QColor& back) {
    if (!readout.Valid) return;
    const TLayout l = Layout(readout, scale, size, canvas.fontMetrics());
    const QColor ink(255 - back.red(), 255 - back.green(), 255 - back.blue());
    canvas.save();
    QPen cursor(ink, 1, Qt::DashLine);
    cursor.setCosmetic(true);
    canvas.setPen(cursor);
    canvas.drawLine(l.X, 0, l.X, size.height() - 1);
    if (l.Y >= 0) canvas.drawLine(0, l.Y, size.width() - 1, l.Y);
    QColor fill = back;
    fill.setAlpha(235);
    canvas.setPen(QPen(ink, 1));
    canvas.setBrush(fill);
    canvas.drawRect(l.Box.adjusted(0, 0, -1, -1));
    int top = l.Box.top() + 4;
    for (const TReadoutLine& line : readout.Lines) {
        if (line.Color.isValid())
            canvas.fillRect(QRect(l.Box.left() + 4, top + 2, l.Swatch, l.Swatch), line.Color);
        canvas.drawText(l.Box.left() + l.Swatch + 10, top + canvas.fontMetrics().ascent(), line.Text);
        top += l.Line;
    }
    canvas.restore();
}
