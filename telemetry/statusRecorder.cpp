#include "telemetry/statusRecorder.h"

#include <QFileInfo>
#include <vector>

bool TStatusRecorder::Start(const QString& path, const QDateTime& start) {
    Stop();
    if (!csv_.Open(path, start)) {
        Log(QStringLiteral("Cannot record to %1: %2.").arg(path, csv_.Error()));
        return false;
    }
    path_ = path;
    Log(QStringLiteral("Recording to %1.").arg(path));
    return true;
}

void TStatusRecorder::Stop() {
    if (!csv_.IsOpen()) return;
    if (!csv_.Close()) {
        Failed();
        return;
    }
    Log(QStringLiteral("Recorded %1 rows to %2.").arg(csv_.Rows()).arg(path_));
}

void TStatusRecorder::Take(const StatusRecord& record, const QDateTime& arrival, bool keep) {
    if (csv_.IsOpen() && !csv_.Write(record, arrival)) Failed();
    if (!keep) return;
    history_.push_back({record, arrival});
    if (history_.size() > HistorySize) history_.pop_front();
}

void TStatusRecorder::Flush() {
    if (csv_.IsOpen() && !csv_.Flush()) Failed();
}

void TStatusRecorder::Failed() {
    Log(QStringLiteral("Recording to %1 stopped: %2. The file holds %3 rows.")
            .arg(path_, csv_.Error())
            .arg(csv_.FlushedRows()));
}

bool TStatusRecorder::Export(const QString& path) {
    QString error;
    if (!TStatusCsv::WriteFile(path, std::vector<TStatusSample>(history_.begin(), history_.end()), &error)) {
        Log(QStringLiteral("Cannot export to %1: %2.").arg(path, error));
        return false;
    }
    Log(QStringLiteral("Exported %1 rows to %2.").arg(history_.size()).arg(path));
    return true;
}

QString TStatusRecorder::StatusText() const {
    if (!csv_.IsOpen()) return QString();
    return QStringLiteral("Recording %1: %2 rows").arg(QFileInfo(path_).fileName()).arg(csv_.Rows());
}
