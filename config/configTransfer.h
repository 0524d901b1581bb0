// The 17 configuration records in memory and their transfer to and from a controller: reads, writes to
// RAM or flash, retries and acknowledgements, one transfer at a time, and the detection sequence that
// reads the record in use after a connect. Widget-free: the configuration frame and the command line
// drive it alike.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>

#include "config/configRecord.h"
#include "link/Waiter.h"

class TComLink;

class TConfigTransfer : public QObject {
    Q_OBJECT
public:
    enum class TDirection { Read, WriteRam, WriteFlash };
    enum class TEnd { Finished, Failed, Abandoned };
    using TRecords = std::array<ConfigRecord, ConfigRecordCount>;
    static constexpr int WaitTicks = 20;  // 2 seconds for each answer

    explicit TConfigTransfer(QObject* parent = nullptr);

    // Binds the port (its active link number goes into the log prefix) and the source of the net bit,
    // and fills every record with its defaults. Until then the unit has no port and starts nothing.
    void Initialize(TComLink& link, std::function<uint8_t()> netBit = {});

    TRecords& Records() { return records_; }
    const TRecords& Records() const { return records_; }

    // Reads records first..last in ascending order, one request at a time, each asked up to four times.
    // false, and nothing sent, while busy, with the port closed or for a range outside 0..16.
    bool Read(int first, int last);
    // Writes records first..last, numbered by their slots, as they are in memory now: later changes of
    // the records do not reach the controller. WriteFlash asks up to four times per record, WriteRam once.
    bool Write(int first, int last, TDirection target);
    // Ends the running transfer (logged): nothing more is sent. The answer to the request in flight is
    // still awaited for the rest of its wait and then dropped, so that it is never taken as the answer to
    // a later request; the unit is busy until then, and OnTransferEnded(Abandoned) marks the end.
    void Abandon();

    bool Running() const { return running_; }  // a transfer runs
    bool Busy() const { return running_ || settling_; }
    bool Connected() const;
    // A new transfer may start: connected, idle, and a link active whenever the net bit is set.
    bool Ready() const;
    bool Detecting() const { return detectState_ != 0; }

    // The reply handler of the main window's dispatch: false when the packet was taken.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    // The waiter's 100 ms tick and the detection sequence's 200 ms tick; timers run them, tests step them.
    void Tick() { waiter_.Tick(); }
    void DetectionTick();

    // Logs with the prefix "Vek#%d: " while a link on the net is active.
    void LogLine(const QString& text);

    // Callbacks, each skipped while empty.
    std::function<void(const QString&)> OnLog;
    std::function<void(int record)> OnRecordReceived;         // a valid record was stored in memory
    std::function<void(int record, bool done)> OnRecordDone;  // a record of the transfer: done or given up
    std::function<void(TDirection)> OnTransferStarted;
    std::function<void(TEnd)> OnTransferEnded;       // the unit is idle again when it runs
    std::function<void(int record)> OnSelectRecord;  // detection: the record in use, before it is read

private:
    // The one request in flight: what it asked for and about which record (-1: none).
    struct TRequest {
        TDirection Direction = TDirection::Read;
        int Record = -1;
    };

    bool Start(int first, int last, TDirection direction);
    void Send(int n);
    void StartWait();
    void Next();
    void Expired();
    void Answered(bool done);
    void Finish(TEnd end);
    void EndSettling();
    void TakeRecord(const ConfigRecord& r);
    uint8_t Channel() const;

    TComLink* link_ = nullptr;
    std::function<uint8_t()> netBit_;
    TWaiter waiter_;
    QTimer detectTimer_;
    TRecords records_;
    std::array<TConfigBytes, ConfigRecordCount> outgoing_{};  // a write's records as they were at its start
    // Per record of the running transfer: 0 nothing to do, 1..3 requests it may still get (3: not asked).
    std::array<int, ConfigRecordCount> pending_{};
    TDirection direction_ = TDirection::Read;
    TRequest inFlight_;
    bool running_ = false;
    bool settling_ = false;  // abandoned; the answer to inFlight_ is awaited only to be dropped
    bool failed_ = false;    // a record of the running transfer was given up
    int detectState_ = 0;
    bool statusSeen_ = false;
    uint8_t mode_ = 0;  // the record in use, from the last Status reply
};
