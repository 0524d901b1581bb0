#include "cli/cliRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <algorithm>
#include <cstdio>

#include "cli/configSessions.h"
#include "cli/firmwareSession.h"
#include "cli/linkSessions.h"
#include "cli/statusSession.h"
#include "config/configFile.h"
#include "link/comcon.h"

namespace {
int SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    (void)!::write(SignalPipe[1], &byte, 1);
}

void Write(FILE* out, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), out);
    std::fflush(out);
}
}  // namespace

TCliRunner::TCliRunner(const TCliOptions& options)
    : options_(options), progress_(::isatty(STDERR_FILENO) != 0) {}

TCliRunner::~TCliRunner() {
    sessions_.clear();
    if (SignalPipe[0] >= 0) {
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
    }
}

int TCliRunner::Run() {
    if (options_.Command == TCommand::Ports) return ListPorts();
    QString error;
    if (!LoadInputs(error)) {
        PrintError(error, ExitCode::Failed);
        return ExitCode::Failed;
    }
    WatchSignals();
    for (const QString& port : options_.Ports) sessions_.push_back(MakeSession(port));
    for (auto& session : sessions_) session->OnFinished = [this] { SessionFinished(); };
    for (auto& session : sessions_) session->Start();
    QCoreApplication::exec();
    progress_.Finish();
    Print();
    return ExitStatus();
}

std::unique_ptr<TPortSession> TCliRunner::MakeSession(const QString& port) {
    switch (options_.Command) {
        case TCommand::Identify:
            return std::make_unique<TIdentifySession>(options_, inputs_, port, progress_);
        case TCommand::Scan:
            return std::make_unique<TScanSession>(options_, inputs_, port, progress_);
        case TCommand::ConfigGet:
            return std::make_unique<TConfigGetSession>(options_, inputs_, port, progress_);
        case TCommand::ConfigPut:
            return std::make_unique<TConfigPutSession>(options_, inputs_, port, progress_);
        case TCommand::Firmware:
            return std::make_unique<TFirmwareSession>(options_, inputs_, port, progress_);
        default:
            return std::make_unique<TStatusSession>(options_, inputs_, port, progress_);
    }
}

bool TCliRunner::LoadInputs(QString& error) {
    if (options_.Command == TCommand::Firmware) {
        if (inputs_.Image.Load(options_.File, error)) return true;
        error = QStringLiteral("cannot load %1: %2").arg(options_.File, error);
        return false;
    }
    if (options_.Command != TCommand::ConfigPut) return true;
    if (!ReadConfigFile(options_.File, inputs_.RecordFile, &error)) {
        error = QStringLiteral("cannot read %1: %2").arg(options_.File, error);
        return false;
    }
    // A record the file does not hold would go out as the defaults: refused before any port is opened.
    const TRecordRange range(options_.Record);
    QStringList missing;
    for (int n = range.First; n <= range.Last; ++n)
        if (RecordSection(inputs_.RecordFile, n, options_.Record >= 0).isEmpty())
            missing << ConfigSectionName(n);
    if (missing.isEmpty()) return true;
    error = QStringLiteral("%1 has no section %2%3")
                .arg(options_.File, missing.join(QStringLiteral(", ")),
                     options_.Record >= 0 ? QStringLiteral(" nor Config") : QString());
    return false;
}

void TCliRunner::WatchSignals() {
    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signals_ = new QSocketNotifier(SignalPipe[0], QSocketNotifier::Read, this);
    connect(signals_, &QSocketNotifier::activated, this, [this] {
        char byte;
        while (::read(SignalPipe[0], &byte, 1) > 0) {
        }
        // A second signal while the ports close ends the program at once.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        for (auto& session : sessions_) session->Interrupt();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void TCliRunner::SessionFinished() {
    if (++closed_ == sessions_.size()) QCoreApplication::exit(0);
}

int TCliRunner::ExitStatus() const {
    int code = ExitCode::Ok;
    for (const auto& session : sessions_) {
        const int own = session->Result().Code;
        if (own == ExitCode::Ok) continue;
        code = code == ExitCode::Ok || code == own ? own : ExitCode::Failed;
    }
    return code;
}

void TCliRunner::Print() {
    if (options_.Json) {
        QJsonArray ports;
        for (const auto& session : sessions_) {
            const TPortResult& r = session->Result();
            QJsonObject entry = r.Data;
            entry.insert("port", session->Label());
            entry.insert("device", session->Device());
            entry.insert("ok", r.Code == ExitCode::Ok);
            entry.insert("exitCode", r.Code);
            entry.insert("seconds", r.Seconds);
            entry.insert(r.Code == ExitCode::Ok ? "result" : "error", r.Text);
            ports.append(entry);
        }
        const QJsonObject doc{
            {"command", options_.CommandName}, {"exitCode", ExitStatus()}, {"ports", ports}};
        Write(stdout, QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
        return;
    }
    // Standard output carries the CSV of a status without --csv: the summary goes beside it.
    FILE* out = options_.Command == TCommand::Status && options_.Csv.isEmpty() ? stderr : stdout;
    for (const auto& session : sessions_) {
        const TPortResult& r = session->Result();
        if (r.Code == ExitCode::Ok)
            Write(out, QStringLiteral("%1: %2\n").arg(session->Label(), r.Text));
        else
            Write(out,
                  QStringLiteral("%1: failed (exit %2): %3\n").arg(session->Label()).arg(r.Code).arg(r.Text));
    }
}

void TCliRunner::PrintError(const QString& error, int code) {
    if (options_.Json) {
        const QJsonObject doc{{"command", options_.CommandName}, {"exitCode", code}, {"error", error}};
        Write(stdout, QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
    }
    Write(stderr, QStringLiteral("vekctl: %1\n").arg(error));
}

int TCliRunner::ListPorts() {
    const std::vector<TPortEntry> ports = EnumPorts();
    if (options_.Json) {
        QJsonArray list;
        for (const TPortEntry& p : ports)
            list.append(QJsonObject{{"port", QString::fromStdString(p.Name)},
                                    {"description", p.Description},
                                    {"manufacturer", p.Manufacturer}});
        const QJsonObject doc{{"command", options_.CommandName}, {"exitCode", 0}, {"ports", list}};
        Write(stdout, QString::fromUtf8(QJsonDocument(doc).toJson(QJsonDocument::Indented)));
        return ExitCode::Ok;
    }
    for (const TPortEntry& p : ports) {
        const QString about = p.ToolTip() == QString::fromStdString(p.Name) ? QString() : p.ToolTip();
        Write(stdout, QStringLiteral("%1  %2\n").arg(QString::fromStdString(p.Name), about).trimmed() + '\n');
    }
    if (ports.empty()) Write(stderr, QStringLiteral("vekctl: no serial ports found\n"));
    return ExitCode::Ok;
}
