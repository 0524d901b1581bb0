// Keeping the status stream: a recording to a CSV file while it runs, and the history of the records
// the graph holds, which Export writes out whole. Widget-free; reports through OnLog.
#pragma once

#include <QDateTime>
#include <QString>
#include <deque>
#include <functional>

#include "telemetry/statusCsv.h"

class TStatusRecorder {
public:
    // As many records as the graph's buffers keep.
    static constexpr size_t HistorySize = 4096;

    std::function<void(const QString&)> OnLog;

    // Starts recording to `path`; false and a log line with the reason when the file cannot be written.
    bool Start(const QString& path, const QDateTime& start = QDateTime::currentDateTime());
    // Ends the recording with a log line of what it holds.
    void Stop();
    bool Recording() const { return csv_.IsOpen(); }
    // One record as it arrived: a row of the recording, and with `keep` a place in the history. A write
    // that fails ends the recording with a log line.
    void Take(const StatusRecord& record, const QDateTime& arrival, bool keep);
    // Hands the rows written so far to the system (the owner calls it about twice a second).
    void Flush();
    void ClearHistory() { history_.clear(); }
    const std::deque<TStatusSample>& History() const { return history_; }
    // Writes the history as one whole file; the log says how it went.
    bool Export(const QString& path);
    // "Recording <file>: <n> rows" while recording, empty otherwise.
    QString StatusText() const;

private:
    void Log(const QString& line) const {
        if (OnLog) OnLog(line);
    }
    void Failed();

    TStatusCsv csv_;
    QString path_;
    std::deque<TStatusSample> history_;
};
