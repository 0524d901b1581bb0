#include "cli/configSessions.h"

#include <QJsonArray>

#include "config/configFile.h"
#include "link/zuq.h"

namespace {
QString Numbers(const QList<int>& numbers) {
    QStringList texts;
    for (int n : numbers) texts << QString::number(n);
    return texts.join(QStringLiteral(", "));
}

QJsonArray JsonNumbers(const TRecordRange& range) {
    QJsonArray list;
    for (int n = range.First; n <= range.Last; ++n) list.append(n);
    return list;
}
}  // namespace

QString RecordSection(const CSimpleIniA& file, int n, bool single) {
    const QString numbered = ConfigSectionName(n);
    if (file.GetSection(numbered.toLatin1().constData()) != nullptr) return numbered;
    if (single && file.GetSection("Config") != nullptr) return ConfigSectionName();
    return QString();
}

QString TRecordRange::Text() const {
    return First == Last ? QStringLiteral("record %1").arg(First)
                         : QStringLiteral("records %1..%2").arg(First).arg(Last);
}

// ---- both ----------------------------------------------------------------------------------------

TConfigSession::TConfigSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                               TCliProgress& progress)
    : TPortSession(options, inputs, port, progress), Range(options.Record) {
    Unit.Initialize(Port, [this] { return NetBit(); });
    Unit.OnLog = [this](const QString& line) { Log(line); };
    Unit.OnRecordDone = [this](int record, bool done) {
        if (Finished()) return;
        if (!done) failed_ << record;
        // A record given up without a word from the controller: the others would wait in vain too.
        if (!done && !HeardTarget()) {
            Fail(ExitCode::NoAnswer,
                 NoAnswerText(Request(), TConfigTransfer::WaitTicks / 10,
                              direction_ == TConfigTransfer::TDirection::WriteRam ? 1 : 4));
            return Unit.Abandon();
        }
        Progress(phase_, ++done_ * 100 / Range.Count());
    };
    Unit.OnTransferEnded = [this](TConfigTransfer::TEnd end) {
        if (!Finished()) Ended(end);
    };
}

void TConfigSession::Reply(const uint8_t* payload, uint8_t length, uint8_t channel) {
    // Only the addressed controller's replies: a stream another program left running is not an answer.
    if (channel == (zuq::ChannelReply | NetBit())) Unit.HandleReply(payload, length);
}

void TConfigSession::Interrupted() {
    TPortSession::Interrupted();
    Unit.Abandon();
}

void TConfigSession::Transfer(TConfigTransfer::TDirection direction, const QString& phase) {
    direction_ = direction;
    phase_ = phase;
    done_ = 0;
    failed_.clear();
    Progress(phase_, 0);
    const bool started = direction == TConfigTransfer::TDirection::Read
                             ? Unit.Read(Range.First, Range.Last)
                             : Unit.Write(Range.First, Range.Last, direction);
    if (!started) Fail(ExitCode::Failed, QStringLiteral("the transfer could not start (port closed)"));
}

QString TConfigSession::Request() const {
    switch (direction_) {
        case TConfigTransfer::TDirection::Read:
            return QStringLiteral("ConfigGet");
        case TConfigTransfer::TDirection::WriteRam:
            return QStringLiteral("ConfigSet");
        default:
            return QStringLiteral("ConfigFlash");
    }
}

void TConfigSession::Ended(TConfigTransfer::TEnd end) {
    if (end == TConfigTransfer::TEnd::Finished) return Transferred();
    if (failed_.isEmpty()) return Fail(ExitCode::Failed, QStringLiteral("the transfer ended early"));
    const bool reading = direction_ == TConfigTransfer::TDirection::Read;
    Fail(ExitCode::Failed, QStringLiteral("%1 %2 could not be %3 (%4 without a valid answer)")
                               .arg(failed_.size() == 1 ? "record" : "records", Numbers(failed_),
                                    reading ? "read" : "written", Request()));
}

// ---- config get ----------------------------------------------------------------------------------

void TConfigGetSession::Run() {
    Transfer(TConfigTransfer::TDirection::Read, QStringLiteral("reading"));
}

void TConfigGetSession::Transferred() {
    const QString path = PathForPort(Options.Output, Label());
    QString why;
    // The window's writer: Save All for every record, Save (section "Config") for one.
    if (!SaveRecordFile(path, Unit.Records(), Options.Record, &why))
        return Fail(ExitCode::Failed, QStringLiteral("cannot write %1: %2").arg(path, why));
    Succeed(QStringLiteral("%1 read into %2").arg(Range.Text(), path),
            QJsonObject{{"file", path}, {"records", JsonNumbers(Range)}});
}

// ---- config put ----------------------------------------------------------------------------------

void TConfigPutSession::Run() {
    // Fields that the file does not give keep the controller's values: those records are read first.
    bool complete = true;
    for (int n = Range.First; n <= Range.Last; ++n) {
        const QString section = RecordSection(Inputs.RecordFile, n, Options.Record >= 0);
        complete = complete && MissingRecordKeys(Inputs.RecordFile, section.toLatin1().constData()).isEmpty();
    }
    if (complete) return Write();
    phase_ = TPhase::Read;
    Transfer(TConfigTransfer::TDirection::Read, QStringLiteral("reading the fields the file lacks"));
}

void TConfigPutSession::Write() {
    for (int n = Range.First; n <= Range.Last; ++n) {
        ConfigRecord& record = Unit.Records()[n];
        const QString section = RecordSection(Inputs.RecordFile, n, Options.Record >= 0);
        LoadRecord(Inputs.RecordFile, section.toLatin1().constData(), record);
        record.Number = uint8_t(n);
        expected_[n] = record.ToBytes();
    }
    phase_ = TPhase::Write;
    Transfer(Options.Ram ? TConfigTransfer::TDirection::WriteRam : TConfigTransfer::TDirection::WriteFlash,
             QStringLiteral("writing"));
}

void TConfigPutSession::Transferred() {
    switch (phase_) {
        case TPhase::Read:
            return Write();
        case TPhase::Write:
            phase_ = TPhase::Verify;
            return Transfer(TConfigTransfer::TDirection::Read, QStringLiteral("reading back"));
        case TPhase::Verify:
            break;
    }
    QList<int> different;
    for (int n = Range.First; n <= Range.Last; ++n)
        if (Unit.Records()[n].ToBytes() != expected_[n]) different << n;
    const QString target = Options.Ram ? QStringLiteral("RAM") : QStringLiteral("flash");
    const QJsonObject data{{"records", JsonNumbers(Range)}, {"target", target.toLower()}};
    if (!different.isEmpty())
        return Fail(ExitCode::Failed,
                    QStringLiteral("%1 %2 read back different from what was written")
                        .arg(different.size() == 1 ? "record" : "records", Numbers(different)),
                    data);
    Succeed(QStringLiteral("%1 written to %2 and read back equal").arg(Range.Text(), target), data);
}
