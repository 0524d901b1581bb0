#include "cli/portSession.h"

#include <QFileInfo>
#include <utility>

#include "cli/cliProgress.h"
#include "link/simPortFolder.h"
#include "link/zuq.h"

std::string ResolvePortName(const QString& name) {
    if (name.contains(QLatin1Char('/'))) return name.toStdString();
    for (const QString& folder : {QStringLiteral("/dev"), QString::fromStdString(SimPortFolder())}) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo::exists(path)) return path.toStdString();
    }
    return name.toStdString();
}

TPortSession::TPortSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                           TCliProgress& progress)
    : Options(options), Inputs(inputs), LinkScan(Port), label_(port), progress_(progress) {
    progressId_ = progress_.Add(label_);
    awaitTimer_.setInterval(AnswerMs);
    connect(&awaitTimer_, &QTimer::timeout, this, &TPortSession::AwaitExpired);
    drainTimer_.setInterval(5);
    connect(&drainTimer_, &QTimer::timeout, this, &TPortSession::DrainTick);
    Port.PortName = ResolvePortName(port);
    Port.OnPacket = [this](const uint8_t* payload, uint8_t length, uint8_t channel) {
        Packet(payload, length, channel);
    };
    Port.OnDeviceLost = [this] {
        if (!Finished()) DeviceLost();
    };
    LinkScan.OnLog = [this](const QString& line) { Log(QStringLiteral("LINK: ") + line); };
    LinkScan.OnActiveLink = [this](uint8_t active) {
        if (selecting_ < 0 || Finished()) return;
        const int wanted = std::exchange(selecting_, -1);
        Answered();
        if (active != wanted)
            return Fail(ExitCode::NoAnswer,
                        QStringLiteral("link %1 does not answer on the CAN net (the controller reports %2)")
                            .arg(wanted)
                            .arg(active == TLinkScan::NoLink ? QStringLiteral("no active link")
                                                             : QStringLiteral("link %1").arg(active)));
        netBit_ = active == TLinkScan::NoLink ? 0 : zuq::NetBit;
        heardTarget_ = false;  // from here on, the replies of the controller on the net count
        if (auto then = std::move(afterSelect_)) then();
    };
}

TPortSession::~TPortSession() {
    Port.OnPacket = nullptr;
    Port.OnDeviceLost = nullptr;
    Port.SetActive(false);
}

void TPortSession::Start() {
    clock_.start();
    Progress(QStringLiteral("opening"));
    Port.SetLineSettings(Options.Line);
    Port.SetActive(true);
    if (!Port.IsOpen())
        return Fail(ExitCode::PortNotOpened, QStringLiteral("cannot open %1: %2")
                                                 .arg(QString::fromStdString(Port.PortName),
                                                      QString::fromStdString(Port.LastError())));
    if (!Port.RefusedSetting().empty())
        return Fail(ExitCode::PortNotOpened, QStringLiteral("the port does not take %1: %2")
                                                 .arg(QString::fromStdString(Options.Line.Describe()),
                                                      QString::fromStdString(Port.RefusedSetting())));
    // Closing a port discards what the driver still held, so an earlier session (or program) may have
    // cut a packet short, and the controller would take the start of ours as its rest. A run of zeros as
    // long as the longest packet ends such a packet (with a wrong sum) before ours begin.
    static const uint8_t zeros[zuq::MaxPacket] = {};
    Port.WriteRaw(zeros, sizeof zeros);
    if (Options.Link >= 0) {
        Progress(QStringLiteral("selecting link %1").arg(Options.Link));
        SelectLink(uint8_t(Options.Link), [this] { Run(); });
    } else {
        Run();
    }
}

void TPortSession::Interrupt() {
    if (!Finished()) Interrupted();
}

void TPortSession::Interrupted() {
    Fail(ExitCode::Interrupted, QStringLiteral("interrupted"));
}

void TPortSession::DeviceLost() {
    Fail(ExitCode::Failed, QStringLiteral("the port went away (device lost)"));
}

void TPortSession::Packet(const uint8_t* payload, uint8_t length, uint8_t channel) {
    if (Finished() || length == 0) return;
    if (channel == (zuq::ChannelReply | netBit_) || channel == zuq::ChannelBoot) heardTarget_ = true;
    switch (payload[0]) {
        case zuq::Cmd::ActiveLink:
        case zuq::Cmd::ActiveLinkAlt:
        case zuq::Cmd::ScanLinks:
            LinkScan.HandleReply(payload, length);
            return;
        default:
            Reply(payload, length, channel);
    }
}

void TPortSession::SelectLink(uint8_t link, std::function<void()> then) {
    selecting_ = link;
    afterSelect_ = std::move(then);
    Await(QStringLiteral("SelectLink %1").arg(link), [this, link] { LinkScan.Select(link); });
}

void TPortSession::Await(const QString& what, std::function<void()> send, bool sendNow,
                         std::function<void()> giveUp) {
    awaitWhat_ = what;
    resend_ = std::move(send);
    giveUp_ = std::move(giveUp);
    attemptsLeft_ = Attempts - 1;
    if (sendNow) resend_();
    awaitTimer_.start();
}

void TPortSession::Answered() {
    awaitTimer_.stop();
}

void TPortSession::AwaitExpired() {
    if (Finished()) return awaitTimer_.stop();
    if (attemptsLeft_-- > 0) {
        Log(QStringLiteral("No answer to %1, asking again.").arg(awaitWhat_));
        resend_();
        return;
    }
    awaitTimer_.stop();
    if (auto giveUp = std::move(giveUp_)) return giveUp();
    Fail(ExitCode::NoAnswer, NoAnswerText(awaitWhat_));
}

void TPortSession::ScanTimedOut(const std::function<void()>& again) {
    if (++scans_ < ScanAttempts) return again();
    Fail(ExitCode::NoAnswer, NoAnswerText(QStringLiteral("ScanLinks"), TLinkScan::ScanTicks / 10, scans_));
}

QString TPortSession::NoAnswerText(const QString& what, int seconds, int times) const {
    TDCB line = Options.Line;
    Port.LineInUse(line);
    return QStringLiteral("no controller answers: no reply to %1 within %2 s, %3 times (%4)")
        .arg(what)
        .arg(seconds)
        .arg(times)
        .arg(QString::fromStdString(line.Describe()));
}

void TPortSession::Succeed(const QString& text, const QJsonObject& data) {
    End(ExitCode::Ok, text, data);
}

void TPortSession::Fail(int code, const QString& text, const QJsonObject& data) {
    End(code, text, data);
}

void TPortSession::End(int code, const QString& text, const QJsonObject& data) {
    if (Finished()) return;
    awaitTimer_.stop();
    selecting_ = -1;
    result_ = {code, text, data, clock_.elapsed() / 1000.0};
    progress_.Done(progressId_, code == ExitCode::Ok);
    // What was queued last (a SoftReset, the end of a stream) must leave before the port closes.
    drainClock_.start();
    drainTimer_.start();
}

void TPortSession::DrainTick() {
    if (!Port.OutputSent() && drainClock_.elapsed() < DrainMs) return;
    drainTimer_.stop();
    // An update or a reset stopped halfway may have left DTR and RTS set: a controller whose reset or
    // boot pin follows them must not stay held.
    Port.SetControlLines(true, true);
    Port.SetActive(false);
    if (OnFinished) OnFinished();
}

void TPortSession::Log(const QString& line) {
    if (Options.Verbose) progress_.Line(label_ + QStringLiteral(": ") + line);
}

void TPortSession::Progress(const QString& phase, int percent) {
    progress_.Set(progressId_, phase, percent);
}
