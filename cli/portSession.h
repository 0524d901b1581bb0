// One port's run of a vekctl command: opens the port, selects the link asked for, drives the protocol
// units from the main event loop, turns every wait into a deadline and every end into a result with an
// exit code, and closes the port once what it sent has gone out. Every port has its own session; they
// all run at once, each event-driven, while the reader and writer threads of each port do the I/O.
#pragma once

#include <SimpleIni.h>

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "cli/cliOptions.h"
#include "firmware/firmwareImage.h"
#include "firmware/linkScan.h"
#include "link/treadRW.h"

class TCliProgress;

// What every port's session reads but none changes: loaded once, before any port is opened.
struct TCliInputs {
    TFirmwareImage Image;
    CSimpleIniA RecordFile;
};

struct TPortResult {
    int Code = -1;  // an ExitCode value; -1 while the session runs
    QString Text;   // what was done, or why it failed
    QJsonObject Data;
    double Seconds = 0;
};

// A port name as given: a path stays as it is; a bare name is looked up under /dev, then among the
// simulators' links.
std::string ResolvePortName(const QString& name);

class TPortSession : public QObject {
    Q_OBJECT
public:
    static constexpr int AnswerMs = 2000;  // each request's wait, as the window's transfers
    static constexpr int Attempts = 3;     // requests before a controller counts as not answering
    static constexpr int DrainMs = 1000;   // longest wait for the last packets to leave before closing

    TPortSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                 TCliProgress& progress);
    ~TPortSession() override;

    // Opens the port and runs the command; OnFinished follows once the port is closed again.
    void Start();
    // SIGINT or SIGTERM.
    void Interrupt();

    const QString& Label() const { return label_; }
    QString Device() const { return QString::fromStdString(Port.PortName); }
    const TPortResult& Result() const { return result_; }
    bool Finished() const { return result_.Code >= 0; }
    std::function<void()> OnFinished;

protected:
    // The port is open, and the link of --link is active.
    virtual void Run() = 0;
    // A packet from the controller (link management replies are the link scan's).
    virtual void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) = 0;
    virtual void Interrupted();
    virtual void DeviceLost();

    // Makes `link` active on the CAN net (NoLink for none), then runs `then`. A link that the controller
    // does not report active fails the session (NoAnswer).
    void SelectLink(uint8_t link, std::function<void()> then);
    // Sends a request (now, unless sendNow is false) and repeats it every AnswerMs until Answered(), at
    // most Attempts times; then `giveUp` runs, by default a NoAnswer failure naming `what`.
    void Await(const QString& what, std::function<void()> send, bool sendNow = true,
               std::function<void()> giveUp = {});
    void Answered();
    bool Awaiting() const { return awaitTimer_.isActive(); }
    QString NoAnswerText(const QString& what, int seconds = AnswerMs / 1000, int times = Attempts) const;
    // A scan of the CAN net timed out: the net had the window's 5 s, and a lost answer costs one more
    // scan (`again`); after ScanAttempts the session fails (NoAnswer).
    void ScanTimedOut(const std::function<void()>& again);
    static constexpr int ScanAttempts = 2;

    void Succeed(const QString& text, const QJsonObject& data = {});
    void Fail(int code, const QString& text, const QJsonObject& data = {});
    // A protocol log line (shown with --verbose).
    void Log(const QString& line);
    void Progress(const QString& phase, int percent = -1);

    // 0x80 while a link on the net is active, else 0.
    uint8_t NetBit() const { return netBit_; }
    // Whether a packet came from the controller addressed (its replies' channel, or a bootloader).
    bool HeardTarget() const { return heardTarget_; }

    const TCliOptions& Options;
    const TCliInputs& Inputs;
    TComRW Port;
    TLinkScan LinkScan;

private:
    void Packet(const uint8_t* payload, uint8_t length, uint8_t channel);
    void AwaitExpired();
    void End(int code, const QString& text, const QJsonObject& data);
    void DrainTick();

    QString label_;
    TCliProgress& progress_;
    int progressId_ = -1;
    TPortResult result_;
    QElapsedTimer clock_;
    uint8_t netBit_ = 0;
    bool heardTarget_ = false;
    int selecting_ = -1;  // the link a SelectLink waits for, -1 when none
    std::function<void()> afterSelect_;
    QTimer awaitTimer_;
    int attemptsLeft_ = 0;
    int scans_ = 0;
    QString awaitWhat_;
    std::function<void()> resend_;
    std::function<void()> giveUp_;
    QTimer drainTimer_;
    QElapsedTimer drainClock_;
};
