#include "cli/statusSession.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

TStatusSession::TStatusSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                               TCliProgress& progress)
    : TPortSession(options, inputs, port, progress), poll_(Port) {
    keepAlive_.setInterval(500);
    connect(&keepAlive_, &QTimer::timeout, this, &TStatusSession::KeepAlive);
    duration_.setSingleShot(true);
    connect(&duration_, &QTimer::timeout, this, &TStatusSession::End);
}

QString TStatusSession::Destination() const {
    return Options.Csv.isEmpty() ? QStringLiteral("standard output") : PathForPort(Options.Csv, Label());
}

void TStatusSession::Run() {
    const QDateTime start = QDateTime::currentDateTime();
    const bool opened = Options.Csv.isEmpty()
                            ? stdout_.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                                  csv_.Open(&stdout_, start)
                            : csv_.Open(Destination(), start);
    if (!opened)
        return Fail(ExitCode::Failed,
                    QStringLiteral("cannot write %1: %2")
                        .arg(Destination(), csv_.Error().isEmpty() ? stdout_.errorString() : csv_.Error()));
    poll_.NetBit = NetBit();
    poll_.Rate = Options.Rate;
    poll_.Streaming = true;
    Progress(QStringLiteral("asking for telemetry"));
    Await(QStringLiteral("StatusRequest"), [this] { poll_.Request(); });
}

void TStatusSession::Reply(const uint8_t* payload, uint8_t length, uint8_t channel) {
    const std::optional<StatusRecord> record = poll_.Take(payload, length, channel);
    if (!record) return;
    if (!streaming_) {
        Answered();
        streaming_ = true;
        keepAlive_.start();
        streamClock_.start();
        if (Options.Seconds > 0) duration_.start(int(std::lround(Options.Seconds * 1000)));
    }
    sinceRow_.start();
    if (!csv_.Write(*record, QDateTime::currentDateTimeUtc())) {
        poll_.Stop(NetBit());
        return Fail(ExitCode::Failed, QStringLiteral("cannot write %1: %2").arg(Destination(), csv_.Error()));
    }
    const int percent =
        Options.Seconds > 0 ? int(std::min(100.0, streamClock_.elapsed() / (Options.Seconds * 10))) : -1;
    Progress(QStringLiteral("streaming"), percent);
}

void TStatusSession::KeepAlive() {
    if (Finished()) return keepAlive_.stop();
    const qint64 quiet = sinceRow_.elapsed();
    if (quiet >= LostMs) {
        poll_.Stop(NetBit());
        csv_.Close();
        return Fail(ExitCode::Failed, QStringLiteral("the telemetry stopped after %1 records (none for %2 s)")
                                          .arg(csv_.Rows())
                                          .arg(LostMs / 1000));
    }
    // A stream that ended on the controller's side (a reset, a lost request) is asked for again.
    if (quiet >= QuietMs) poll_.Request();
}

void TStatusSession::End() {
    if (Finished()) return;
    keepAlive_.stop();
    duration_.stop();
    poll_.Stop(NetBit());
    const qint64 rows = csv_.Rows();
    if (!csv_.Close())
        return Fail(ExitCode::Failed, QStringLiteral("cannot write %1: %2").arg(Destination(), csv_.Error()));
    Succeed(QStringLiteral("%1 records to %2").arg(rows).arg(Destination()),
            QJsonObject{{"rows", rows},
                        {"file", Options.Csv.isEmpty() ? QJsonValue() : QJsonValue(Destination())}});
}

void TStatusSession::Interrupted() {
    // Without --seconds an interrupt is the normal end of the stream.
    if (streaming_) return End();
    TPortSession::Interrupted();
}

void TStatusSession::DeviceLost() {
    const qint64 rows = csv_.Rows();
    csv_.Close();
    Fail(ExitCode::Failed, QStringLiteral("the port went away after %1 records (device lost)").arg(rows));
}
