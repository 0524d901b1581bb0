// config get and config put: the configuration records through the window's transfer unit and record
// file writer.
#pragma once

#include <array>

#include "cli/portSession.h"
#include "config/configTransfer.h"

// The section of a record file that record `n` comes from: "Config<n>"; for a single record (--record N)
// "Config<N>" when the file has it, else "Config" as the window's Save writes it. Empty when the file
// has neither.
QString RecordSection(const CSimpleIniA& file, int n, bool single);

// The records a command works on: first and last, from --record.
struct TRecordRange {
    int First = 0;
    int Last = ConfigRecordCount - 1;
    explicit TRecordRange(int record) {
        if (record >= 0) First = Last = record;
    }
    int Count() const { return Last - First + 1; }
    QString Text() const;  // "records 0..16", "record 5"
};

// Common to both: the transfer unit, its progress and the records it gave up.
class TConfigSession : public TPortSession {
    Q_OBJECT
public:
    TConfigSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                   TCliProgress& progress);

protected:
    void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) override;
    void Interrupted() override;
    // Starts a read or a write of the range, under a phase name for the progress.
    void Transfer(TConfigTransfer::TDirection direction, const QString& phase);
    // The transfer ended: Finished goes to Transferred(); a failure ends the session.
    virtual void Transferred() = 0;

    TConfigTransfer Unit;
    TRecordRange Range;

private:
    void Ended(TConfigTransfer::TEnd end);
    QString Request() const;  // the request of the running transfer

    TConfigTransfer::TDirection direction_ = TConfigTransfer::TDirection::Read;
    QString phase_;
    int done_ = 0;
    QList<int> failed_;
};

class TConfigGetSession : public TConfigSession {
    Q_OBJECT
public:
    using TConfigSession::TConfigSession;

protected:
    void Run() override;
    void Transferred() override;
};

class TConfigPutSession : public TConfigSession {
    Q_OBJECT
public:
    using TConfigSession::TConfigSession;

protected:
    void Run() override;
    void Transferred() override;

private:
    void Write();

    enum class TPhase { Read, Write, Verify } phase_ = TPhase::Read;
    std::array<TConfigBytes, ConfigRecordCount> expected_{};
};
