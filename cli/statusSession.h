// status: the telemetry stream of the addressed controller as CSV, in the columns of the window's
// recording, to a file or to standard output.
#pragma once

#include <QDateTime>
#include <QFile>

#include "cli/portSession.h"
#include "telemetry/statusCsv.h"
#include "telemetry/statusPoll.h"

class TStatusSession : public TPortSession {
    Q_OBJECT
public:
    static constexpr int QuietMs = 1500;  // no record for this long: the stream is asked for again
    static constexpr int LostMs = 6000;   // no record for this long: the stream counts as lost

    TStatusSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                   TCliProgress& progress);

protected:
    void Run() override;
    void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) override;
    void Interrupted() override;
    void DeviceLost() override;

private:
    void KeepAlive();
    void End();
    QString Destination() const;

    TStatusPoll poll_;
    TStatusCsv csv_;
    QFile stdout_;
    QTimer keepAlive_;
    QTimer duration_;
    QElapsedTimer sinceRow_;
    QElapsedTimer streamClock_;
    bool streaming_ = false;
};
