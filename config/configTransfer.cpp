#include "config/configTransfer.h"

#include <algorithm>
#include <utility>

#include "link/comLink.h"
#include "link/identity.h"
#include "link/zuq.h"
#include "telemetry/statusRecord.h"

namespace {

const QString DownloadFailed = QStringLiteral("CONFIG downloading failed!");
const QString UploadFailed = QStringLiteral("CONFIG uploading failed!");

}  // namespace

TConfigTransfer::TConfigTransfer(QObject* parent)
    : QObject(parent), waiter_([this](const QString& text) { LogLine(text); }) {
    for (int n = 0; n < ConfigRecordCount; ++n) records_[n] = ConfigRecord::Defaults(uint8_t(n));
    detectTimer_.setInterval(200);
    connect(&detectTimer_, &QTimer::timeout, this, &TConfigTransfer::DetectionTick);
}

void TConfigTransfer::Initialize(TComLink& link, std::function<uint8_t()> netBit) {
    link_ = &link;
    netBit_ = std::move(netBit);
    for (int n = 0; n < ConfigRecordCount; ++n) records_[n] = ConfigRecord::Defaults(uint8_t(n));
}

bool TConfigTransfer::Connected() const {
    return link_ != nullptr && link_->IsOpen();
}

uint8_t TConfigTransfer::Channel() const {
    return uint8_t(zuq::ChannelApp | (netBit_ ? netBit_() : 0));
}

bool TConfigTransfer::Ready() const {
    return Connected() && !Busy() && (link_->ActiveLink != 255 || Channel() == zuq::ChannelApp);
}

void TConfigTransfer::LogLine(const QString& text) {
    const QString prefix = link_ != nullptr && link_->ActiveLink != 255
                               ? QStringLiteral("Vek#%1: ").arg(link_->ActiveLink)
                               : QString();
    if (OnLog) OnLog(prefix + text);
}

// ---- transfers ---------------------------------------------------------------------------------

bool TConfigTransfer::Read(int first, int last) {
    if (!Start(first, last, TDirection::Read)) return false;
    LogLine(QStringLiteral("Downloading CONFIG #%1 data...").arg(first));
    StartWait();
    Send(first);
    return true;
}

bool TConfigTransfer::Write(int first, int last, TDirection target) {
    if (target == TDirection::Read || !Start(first, last, target)) return false;
    Send(first);
    LogLine(QStringLiteral("Uploading CONFIG #%1 data...").arg(first));
    StartWait();
    return true;
}

bool TConfigTransfer::Start(int first, int last, TDirection direction) {
    if (first < 0 || last < first || last >= ConfigRecordCount || Busy() || !Connected()) return false;
    direction_ = direction;
    running_ = true;
    failed_ = false;
    pending_.fill(0);
    for (int n = first; n <= last; ++n) pending_[n] = 3;
    if (direction != TDirection::Read) {
        for (int n = 0; n < ConfigRecordCount; ++n) records_[n].Number = uint8_t(n);
        for (int n = first; n <= last; ++n) outgoing_[n] = records_[n].ToBytes();
    }
    // The action's own request does not count against the record's three further ones.
    inFlight_ = {direction, first};
    if (OnTransferStarted) OnTransferStarted(direction);
    return true;
}

void TConfigTransfer::Send(int n) {
    if (direction_ == TDirection::Read) {
        link_->SendCommandByte(Channel(), zuq::Cmd::ConfigGet, uint8_t(n));
    } else {
        const uint8_t command =
            direction_ == TDirection::WriteFlash ? zuq::Cmd::ConfigFlash : zuq::Cmd::ConfigSet;
        link_->SendCommandData(Channel(), command, outgoing_[n].data(), uint8_t(outgoing_[n].size()));
    }
}

void TConfigTransfer::StartWait() {
    waiter_.Start(WaitTicks, direction_ == TDirection::Read ? DownloadFailed : UploadFailed, {},
                  [this] { Expired(); });
}

void TConfigTransfer::Next() {
    if (!running_) return;
    int n = 0;
    while (n < ConfigRecordCount && pending_[n] <= 0) ++n;
    if (n == ConfigRecordCount) return Finish(failed_ ? TEnd::Failed : TEnd::Finished);
    if (!Connected()) return Finish(TEnd::Failed);
    const bool fresh = pending_[n] == 3;
    if (direction_ == TDirection::Read)
        LogLine((fresh ? QStringLiteral("Downloading CONFIG #%1 data...")
                       : QStringLiteral("Retry downloading CONFIG #%1 data..."))
                    .arg(n));
    else
        LogLine((fresh ? QStringLiteral("Uploading CONFIG #%1 data...")
                       : QStringLiteral("Retry uploading CONFIG #%1 data..."))
                    .arg(n));
    --pending_[n];
    inFlight_ = {direction_, n};
    Send(n);
    StartWait();
}

void TConfigTransfer::Expired() {
    if (inFlight_.Record < 0) return;
    const int n = std::exchange(inFlight_.Record, -1);
    if (direction_ == TDirection::WriteRam) pending_[n] = 0;  // a write to RAM is not repeated
    if (pending_[n] <= 0) {
        failed_ = true;
        if (OnRecordDone) OnRecordDone(n, false);
    }
    Next();
}

void TConfigTransfer::Answered(bool done) {
    const int n = std::exchange(inFlight_.Record, -1);
    waiter_.Cancel();
    if (done) {
        pending_[n] = 0;
        if (OnRecordDone) OnRecordDone(n, true);
    } else if (pending_[n] <= 0) {
        failed_ = true;
        if (OnRecordDone) OnRecordDone(n, false);
    }
    Next();
}

void TConfigTransfer::Finish(TEnd end) {
    running_ = false;
    pending_.fill(0);
    inFlight_.Record = -1;
    waiter_.Cancel();
    if (OnTransferEnded) OnTransferEnded(end);
}

void TConfigTransfer::Abandon() {
    if (!running_) return;
    LogLine(QStringLiteral("CONFIG transfer abandoned."));
    running_ = false;
    pending_.fill(0);
    if (inFlight_.Record < 0 || !waiter_.Active()) return Finish(TEnd::Abandoned);
    // The request in flight keeps the rest of its wait, silently, so that its answer is recognised.
    settling_ = true;
    const int left = waiter_.Remaining();
    waiter_.Cancel();
    waiter_.Start(left, QString(), {}, [this] { EndSettling(); });
}

void TConfigTransfer::EndSettling() {
    settling_ = false;
    Finish(TEnd::Abandoned);
}

void TConfigTransfer::TakeRecord(const ConfigRecord& r) {
    records_[r.Number] = r;
    if (OnRecordReceived) OnRecordReceived(r.Number);
    LogLine(QStringLiteral("Config #%1 v%2.%3 downloaded.")
                .arg(r.Number)
                .arg(r.Version >> 8)
                .arg(r.Version & 0xFF));
}

// ---- replies and detection ---------------------------------------------------------------------

bool TConfigTransfer::HandleReply(const uint8_t* payload, uint8_t length) {
    if (payload == nullptr || length == 0) return true;
    const uint8_t* args = payload + 1;
    const size_t argCount = size_t(length) - 1;
    switch (payload[0]) {
        case zuq::Cmd::Echo:
            LogLine(QStringLiteral("Echo is received."));
            return false;
        case zuq::Cmd::Identify: {
            const TIdentity id = DecodeIdentity(payload, length);
            LogLine(QStringLiteral("FW: %1 SN: %2")
                        .arg(id.Firmware, QStringLiteral("%1").arg(id.Serial, 8, 16, QChar('0')).toUpper()));
            return false;
        }
        case zuq::Cmd::ConfigData: {
            const ConfigRecord r = ConfigRecord::FromBytes(args, argCount);
            const bool readInFlight = inFlight_.Record >= 0 && inFlight_.Direction == TDirection::Read;
            if (!r.IsValid()) {
                LogLine(QStringLiteral("Config #%1 is corrupted.").arg(r.Number));
                // Taken as the answer to the read in flight: that record is asked again.
                if (readInFlight && settling_)
                    EndSettling();
                else if (readInFlight)
                    Answered(false);
            } else if (readInFlight && r.Number == inFlight_.Record) {
                if (settling_) {
                    EndSettling();
                } else {
                    TakeRecord(r);
                    Answered(true);
                }
            } else if (!Busy()) {
                TakeRecord(r);  // unasked, while nothing runs: kept as the controller sent it
            }
            // Otherwise the answer to an earlier request, or one that a running write must not see.
            return false;
        }
        case zuq::Cmd::Status:
            mode_ = StatusRecord::FromBytes(args, argCount).Mode;
            statusSeen_ = true;
            return true;  // the status frame decodes it as well
        case zuq::Cmd::Detected:
            LogLine(QStringLiteral("Vek detected."));
            detectState_ = 1;
            detectTimer_.start();
            return false;
        case zuq::Cmd::ConfigUploaded:
            // Only 0x18 completes a write, after ConfigSet and ConfigFlash alike; missing bytes read as 0.
            if (argCount >= 1 && args[0] == zuq::Cmd::ConfigSet && inFlight_.Record >= 0 &&
                inFlight_.Direction != TDirection::Read) {
                if (settling_) {
                    EndSettling();
                } else {
                    LogLine(QStringLiteral("Config #%1 uploaded.").arg(inFlight_.Record));
                    Answered(true);
                }
            }
            return false;
        default:
            return true;
    }
}

void TConfigTransfer::DetectionTick() {
    switch (detectState_) {
        case 1:
            statusSeen_ = false;
            detectState_ = 2;
            break;
        case 2:
            if (statusSeen_) {
                detectState_ = 3;
            } else if (Connected()) {
                link_->SendCommandByte(Channel(), zuq::Cmd::StatusRequest, 0);
            } else {
                detectTimer_.stop();  // nothing can answer a closed port
                detectState_ = 0;
            }
            break;
        case 3: {
            // A transfer the operator started meanwhile goes on; the record in use is then not read.
            const int n = std::min<int>(mode_, ConfigRecordCount - 1);
            if (!Busy()) {
                if (OnSelectRecord) OnSelectRecord(n);
                Read(n, n);
            }
            detectState_ = 4;
            break;
        }
        default:
            detectTimer_.stop();
            detectState_ = 0;
            break;
    }
}
