// The status stream as CSV: a header row, then one row per record with its arrival time (ISO 8601 and
// seconds since the start), every channel in its unit, Mode, Address and the names of the set flags.
// The window's recording and export and the command line write the same columns through this unit.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "telemetry/statusRecord.h"

class QFile;
class QIODevice;

struct TStatusSample {
    StatusRecord Record;
    QDateTime Arrival;  // UTC or local; a whole file shows local time
};

class TStatusCsv {
public:
    // Rows reach the file at least this often (by their arrival times), so a crash loses less than a
    // second of them.
    static constexpr int FlushMs = 500;

    static QByteArray HeaderRow();
    // A row: the arrival in the start's offset from UTC, the seconds since the start, the values.
    static QByteArray Row(const StatusRecord& record, const QDateTime& arrival, const QDateTime& start);

    TStatusCsv();
    ~TStatusCsv();
    TStatusCsv(const TStatusCsv&) = delete;
    TStatusCsv& operator=(const TStatusCsv&) = delete;

    // Creates or empties the file and writes the header at once; `start` is time zero of the seconds
    // column. false when the file cannot be written: nothing is open and Error() says why.
    bool Open(const QString& path, const QDateTime& start);
    // The same on a device the caller opened for writing (standard output); it stays open at Close.
    bool Open(QIODevice* device, const QDateTime& start);
    bool IsOpen() const { return device_ != nullptr; }

    // Adds one row. false once a write has failed: the writer is then closed and Error() says why.
    bool Write(const StatusRecord& record, const QDateTime& arrival);
    // Hands every row written so far to the system.
    bool Flush();
    // Flush, then close. false when the last rows could not be written.
    bool Close();

    qint64 Rows() const { return rows_; }            // rows added
    qint64 FlushedRows() const { return flushed_; }  // rows the system holds
    QString Error() const { return error_; }

    // Writes samples as one whole file: either all of it is there, or the old file stays as it was and
    // `error` says why.
    static bool WriteFile(const QString& path, const std::vector<TStatusSample>& samples, QString* error);

private:
    bool Begin(const QDateTime& start);
    void Fail();

    std::unique_ptr<QFile> file_;
    QIODevice* device_ = nullptr;
    QByteArray pending_;
    qint64 startMs_ = 0;
    int offset_ = 0;  // of the start from UTC, in which every row's time is written
    qint64 flushedAtMs_ = 0;
    qint64 rows_ = 0;
    qint64 pendingRows_ = 0;
    qint64 flushed_ = 0;
    QString error_;
};
