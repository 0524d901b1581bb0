#include "firmware/bootUpdate.h"

#include <QStringList>
#include <algorithm>

#include "link/comLink.h"
#include "link/littleEndian.h"
#include "link/zuq.h"

namespace {
constexpr uint8_t WakeUp[7] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
constexpr uint16_t PageBits = 0x0FFF;
constexpr uint16_t FlashErrorBit = 0x4000;
constexpr uint16_t LastPageBit = 0x8000;
constexpr int ListedPages = 10;  // a failure line names at most this many pages

QString PageList(const std::vector<uint16_t>& pages) {
    QStringList names;
    for (size_t i = 0; i < pages.size() && i < ListedPages; ++i) names << QString::number(pages[i]);
    QString text = (pages.size() == 1 ? "page " : "pages ") + names.join(", ");
    if (pages.size() > ListedPages) text += QString(" and %1 more").arg(pages.size() - ListedPages);
    return text;
}
}  // namespace

TBootUpdate::TBootUpdate(TComLink& port, QObject* parent) : QObject(parent), port_(port) {
    detectTimer_.setInterval(100);
    silenceTimer_.setSingleShot(true);
    silenceTimer_.setInterval(SilenceMs);
    pulseTimer_.setSingleShot(true);
    pulseTimer_.setInterval(PulseMs);
    connect(&detectTimer_, &QTimer::timeout, this, &TBootUpdate::DetectTick);
    connect(&silenceTimer_, &QTimer::timeout, this, &TBootUpdate::SilenceTimeout);
    connect(&pulseTimer_, &QTimer::timeout, this, &TBootUpdate::PulseEnd);
}

bool TBootUpdate::Start(const TFirmwareImage& image, uint8_t netBit) {
    if (Busy()) return false;
    image_ = image;
    netBit_ = netBit;
    failure_ = TFailure::None;
    flashErrors_.clear();
    lastPage_ = 0;
    log("Detect bootloader... Press RESET to start");
    progress(100);
    ticks_ = 0;
    detectTimer_.start();
    infoPending_ = true;
    setState(TState::Detecting);
    port_.SendCommand(zuq::ChannelApp | netBit_, zuq::Cmd::StartUpdate);
    return true;
}

void TBootUpdate::Reset(uint8_t netBit) {
    if (!port_.IsOpen()) return;
    // The controller starts over: an update that was running cannot go on.
    if (Running()) fail(TFailure::Reset);
    port_.SendCommand(zuq::ChannelApp | netBit, zuq::Cmd::SoftReset);
    log("Soft reset...");
    startPulse({});
}

void TBootUpdate::DeviceLost() {
    const bool wasBusy = Busy();
    afterPulse_ = nullptr;
    pulseTimer_.stop();
    if (state_ != TState::Finished && state_ != TState::Failed && state_ != TState::Idle) {
        fail(TFailure::DeviceLost);
    } else {
        if (OnState) OnState(state_);
    }
    if (wasBusy) log("Firmware update stopped: device lost.");
}

void TBootUpdate::DetectTick() {
    if (state_ != TState::Detecting) {
        detectTimer_.stop();
        return;
    }
    const int t = ticks_;
    progress(100 - t);
    if (t < 5) {
        port_.SetControlLines(false, false);
        if (t == 4) sendBootInfo();
    } else if (t == 25) {
        // The application may ignore StartUpdate; a reset of the controller on the line brings up its
        // bootloader, whichever link is selected.
        port_.SendCommand(zuq::ChannelApp, zuq::Cmd::SoftReset);
    } else if (t >= DetectTicks) {
        log("Stop detecting.");
        fail(TFailure::NoBootloader);
        return;
    } else {
        port_.SetControlLines(true, true);
        for (int i = 0; i < 4; ++i) port_.WriteRaw(WakeUp, sizeof WakeUp);
    }
    ++ticks_;
}

bool TBootUpdate::HandleReply(const uint8_t* payload, uint8_t length) {
    if (length == 0) return true;
    const uint8_t code = payload[0];
    const bool boot = code == zuq::Cmd::BootReady || code == zuq::Cmd::BootInfo ||
                      code == zuq::Cmd::BootPageRequest || code == zuq::Cmd::BootPageWritten ||
                      code == zuq::Cmd::BootInvalidDevice;
    if (!boot) return true;
    // Late or stray bootloader replies outside an update are taken and ignored: nothing is sent unasked.
    if (!Running()) return false;
    switch (code) {
        case zuq::Cmd::BootReady:
            log("BOOT detected!!!");
            bootloaderAnswered();
            progress(0);
            if (infoPending_) sendBootInfo();
            infoPending_ = false;
            break;
        case zuq::Cmd::BootInfo: {
            bootloaderAnswered();
            uint8_t args[6] = {};
            std::copy(payload + 1, payload + 1 + std::min<int>(length - 1, 6), args);
            const uint16_t version = le::U16(args);
            const uint32_t size = le::U32(args + 2);
            log(QString("BOOT v%1.%2 Prepare %3 bytes").arg(version >> 8).arg(version & 0x0F).arg(size));
            // A bootloader that expects another size would get a truncated or padded image.
            if (length >= 7 && size != image_.ImageSize) {
                log(QString("Firmware update failed: the bootloader prepares %1 bytes, the image has %2.")
                        .arg(size)
                        .arg(image_.ImageSize));
                fail(TFailure::SizeMismatch);
            }
            break;
        }
        case zuq::Cmd::BootPageRequest: {
            // A request without its page number cannot be answered; answering page 0 would be a guess.
            if (length < 3) break;
            bootloaderAnswered();
            const uint16_t page = le::U16(payload + 1);
            if (image_.PageOutOfRange(page)) log(QString("Block %1 out of range!").arg(page));
            progress(image_.Progress(page));
            uint8_t data[2 + TFirmwareImage::PageSize];
            le::Put16(data, page);
            image_.CopyPage(page, data + 2);
            lastPage_ = page;
            port_.SendCommandData(zuq::ChannelBoot | netBit_, zuq::Cmd::BootPage, data, sizeof data);
            break;
        }
        case zuq::Cmd::BootPageWritten:
            if (length < 3) break;
            bootloaderAnswered();
            pageWritten(le::U16(payload + 1));
            break;
        case zuq::Cmd::BootInvalidDevice:
            // The bootloader refused the image: no pages will come.
            log("Invalid Device !!");
            fail(TFailure::InvalidDevice);
            break;
    }
    return false;
}

void TBootUpdate::pageWritten(uint16_t status) {
    // The status carries 12 bits of the page; the page last sent has them all.
    uint16_t page = status & PageBits;
    if ((lastPage_ & PageBits) == page) page = lastPage_;
    log(QString("Page %1 write!").arg(status & PageBits));
    if (status & FlashErrorBit) {
        log("Flash error.");
        if (std::find(flashErrors_.begin(), flashErrors_.end(), page) == flashErrors_.end())
            flashErrors_.push_back(page);
    }
    if (!(status & LastPageBit)) return;
    if (!flashErrors_.empty()) {
        // The controller stays in its bootloader: resetting it into a damaged image could brick it.
        log(QString("Firmware update failed: flash error on %1.").arg(PageList(flashErrors_)));
        fail(TFailure::FlashError);
        return;
    }
    silenceTimer_.stop();
    log("Finish.");
    setState(TState::Resetting);
    startPulse([this] {
        port_.SendCommand(zuq::ChannelApp | netBit_, zuq::Cmd::SoftReset);
        log("Soft reset...");
        if (state_ == TState::Resetting) setState(TState::Finished);
    });
}

void TBootUpdate::SilenceTimeout() {
    if (state_ != TState::Transferring) return;
    if (!port_.IsOpen()) {
        DeviceLost();
        return;
    }
    // Said once; the next bootloader reply arms the watchdog again.
    log("Bootloader is not responding.");
}

void TBootUpdate::PulseEnd() {
    pulseTimer_.stop();
    port_.SetControlLines(true, true);
    auto after = std::move(afterPulse_);
    afterPulse_ = nullptr;
    if (after) after();
    if (OnState) OnState(state_);
}

void TBootUpdate::log(const QString& text) {
    if (OnLog) OnLog(text);
}

void TBootUpdate::setState(TState state) {
    state_ = state;
    if (OnState) OnState(state_);
}

void TBootUpdate::fail(TFailure failure) {
    stopDetection();
    silenceTimer_.stop();
    infoPending_ = false;
    failure_ = failure;
    setState(TState::Failed);
}

void TBootUpdate::progress(int position) {
    if (OnProgress) OnProgress(std::clamp(position, 0, 100));
}

void TBootUpdate::stopDetection() {
    if (ticks_ < 0) return;
    ticks_ = -1;
    detectTimer_.stop();
    // A controller whose reset or boot pin follows DTR or RTS must not be left held.
    port_.SetControlLines(true, true);
}

void TBootUpdate::bootloaderAnswered() {
    stopDetection();
    if (state_ == TState::Detecting) setState(TState::Transferring);
    silenceTimer_.start();
}

void TBootUpdate::sendBootInfo() {
    uint8_t info[6];
    le::Put16(info, image_.DeviceCode);
    le::Put32(info + 2, image_.ImageSize);
    port_.SendCommandData(zuq::ChannelBoot | netBit_, zuq::Cmd::BootInfo, info, sizeof info);
}

void TBootUpdate::startPulse(std::function<void()> after) {
    port_.SetControlLines(false, false);
    if (after) {
        // Whatever an earlier pulse still has to do runs first, in order.
        auto earlier = std::move(afterPulse_);
        afterPulse_ = [earlier = std::move(earlier), after = std::move(after)] {
            if (earlier) earlier();
            after();
        };
    }
    const bool wasBusy = Busy();
    pulseTimer_.start();
    if (!wasBusy && OnState) OnState(state_);
}
