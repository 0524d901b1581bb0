#include "telemetry/statusCsv.h"

#include <QFile>
#include <QSaveFile>

#include "telemetry/statusChannels.h"

namespace {

// The arrival in the offset from UTC of the start, ISO 8601 with milliseconds and that offset, so that
// rows from either side of a change of the clock still read apart. The offset is looked up once per
// file: a local time's offset costs a look-up of the time zone, and a row at 250 a second must not.
QByteArray Iso8601(qint64 ms, int offset) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, offset)
        .toString(Qt::ISODateWithMs)
        .toLatin1();
}

QByteArray RowAt(const StatusRecord& record, qint64 arrivalMs, qint64 startMs, int offset) {
    // The decimal point is always ".": the comma separates the columns.
    QByteArray row =
        Iso8601(arrivalMs, offset) + ',' + QByteArray::number((arrivalMs - startMs) / 1000.0, 'f', 3);
    for (int i = 0; i < StatusChannelCount; ++i)
        row += ',' + ScaledText(record.Channel(i), StatusChannels[i].Scale).toLatin1();
    row += ',' + QByteArray::number(record.Mode) + ',' + QByteArray::number(record.Address) + ',' +
           FlagText(record.Flags).toLatin1() + '\n';
    return row;
}

}  // namespace

QByteArray TStatusCsv::HeaderRow() {
    QByteArray row = "Time,Seconds";
    for (const TStatusChannel& channel : StatusChannels) row += ',' + QByteArray(channel.Name);
    return row + ",Mode,Address,Flags\n";
}

QByteArray TStatusCsv::Row(const StatusRecord& record, const QDateTime& arrival, const QDateTime& start) {
    return RowAt(record, arrival.toMSecsSinceEpoch(), start.toMSecsSinceEpoch(), start.offsetFromUtc());
}

TStatusCsv::TStatusCsv() = default;

TStatusCsv::~TStatusCsv() {
    Close();
}

bool TStatusCsv::Open(const QString& path, const QDateTime& start) {
    Close();
    error_.clear();
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: what Flush writes is with the system at once.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        error_ = file->errorString();
        return false;
    }
    file_ = std::move(file);
    device_ = file_.get();
    return Begin(start);
}

bool TStatusCsv::Open(QIODevice* device, const QDateTime& start) {
    Close();
    error_.clear();
    if (device == nullptr || !device->isWritable()) {
        error_ = device ? device->errorString() : QStringLiteral("no device");
        return false;
    }
    device_ = device;
    return Begin(start);
}

bool TStatusCsv::Begin(const QDateTime& start) {
    startMs_ = start.toMSecsSinceEpoch();
    offset_ = start.offsetFromUtc();
    flushedAtMs_ = startMs_;
    rows_ = pendingRows_ = flushed_ = 0;
    pending_ = HeaderRow();
    return Flush();
}

bool TStatusCsv::Write(const StatusRecord& record, const QDateTime& arrival) {
    if (!device_) return false;
    const qint64 ms = arrival.toMSecsSinceEpoch();
    pending_ += RowAt(record, ms, startMs_, offset_);
    ++rows_;
    ++pendingRows_;
    // A clock set back flushes too, rather than holding rows until it has caught up.
    if (ms - flushedAtMs_ >= FlushMs || ms < flushedAtMs_) {
        flushedAtMs_ = ms;
        return Flush();
    }
    return true;
}

bool TStatusCsv::Flush() {
    if (!device_) return false;
    if (!pending_.isEmpty()) {
        if (device_->write(pending_) != pending_.size()) {
            Fail();
            return false;
        }
        pending_.clear();
    }
    if (auto* file = qobject_cast<QFileDevice*>(device_); file && !file->flush()) {
        Fail();
        return false;
    }
    flushed_ += pendingRows_;
    pendingRows_ = 0;
    return true;
}

bool TStatusCsv::Close() {
    if (!device_) return error_.isEmpty();
    const bool written = Flush();
    if (file_) {
        file_->close();
        file_.reset();
    }
    device_ = nullptr;
    return written;
}

void TStatusCsv::Fail() {
    error_ = device_->errorString();
    if (error_.isEmpty()) error_ = QStringLiteral("write failed");
    pending_.clear();
    pendingRows_ = 0;
    if (file_) {
        file_->close();
        file_.reset();
    }
    device_ = nullptr;
}

bool TStatusCsv::WriteFile(const QString& path, const std::vector<TStatusSample>& samples, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    // In local time, from the first record on.
    const QDateTime start = samples.empty() ? QDateTime() : samples.front().Arrival.toLocalTime();
    const qint64 startMs = start.toMSecsSinceEpoch();
    const int offset = start.offsetFromUtc();
    QByteArray text = HeaderRow();
    for (const TStatusSample& sample : samples)
        text += RowAt(sample.Record, sample.Arrival.toMSecsSinceEpoch(), startMs, offset);
    if (file.write(text) != text.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}
