#include "sim/simBootloader.h"

#include <algorithm>
#include <climits>

#include "link/zuq.h"
#include "sim/simRecord.h"

namespace sim {

void TSimBootloader::Enter(int64_t nowUs) {
    if (state_ != TState::Off) return;  // already there: the bootloader ignores application commands
    state_ = TState::Starting;
    readyAtUs_ = nowUs + BootStartUs;
}

int64_t TSimBootloader::NextDueUs() const {
    return state_ == TState::Starting ? readyAtUs_ : INT64_MAX;
}

void TSimBootloader::Tick(int64_t nowUs, const TSend& send) {
    if (state_ != TState::Starting || nowUs < readyAtUs_) return;
    state_ = TState::WaitInfo;
    lastReadyUs_ = nowUs;
    send({zuq::Cmd::BootReady});
}

void TSimBootloader::WakeUp(int64_t nowUs, const TSend& send) {
    // The program writes the wake-up sequence several times per 100 ms; answer at most once per 100 ms.
    if (state_ != TState::WaitInfo || nowUs - lastReadyUs_ < 100'000) return;
    lastReadyUs_ = nowUs;
    send({zuq::Cmd::BootReady});
}

void TSimBootloader::RequestPage(uint32_t page, const TSend& send) {
    std::vector<uint8_t> p(3);
    p[0] = zuq::Cmd::BootPageRequest;
    Put16(&p[1], uint16_t(page));
    send(p);
}

void TSimBootloader::Handle(const uint8_t* payload, size_t length, const TSend& send) {
    if (length == 0 || state_ == TState::Off || state_ == TState::Starting) return;
    switch (payload[0]) {
        case zuq::Cmd::BootInfo: {
            if (length < 7) return;
            const uint16_t code = U16(payload + 1);
            const uint32_t size = U32(payload + 3);
            if (code != settings_.DeviceCode || size > MaxImageSize) {
                // A transfer in progress goes on: a stray request must not spoil it.
                send({zuq::Cmd::BootInvalidDevice});
                return;
            }
            std::vector<uint8_t> info(7);
            info[0] = zuq::Cmd::BootInfo;
            Put16(&info[1], BootVersion);
            Put32(&info[3], size);
            if (state_ == TState::Transfer && code == code_ && size == size_) {
                // A repeated exchange: confirm and ask again for the page we still need.
                send(info);
                RequestPage(expected_, send);
                return;
            }
            code_ = code;
            size_ = size;
            pages_ = (size + PageSize - 1) / PageSize;
            expected_ = 0;
            flashError_ = false;
            image_.assign(size, 0);
            send(info);
            if (pages_ == 0) {
                std::vector<uint8_t> w(3);
                w[0] = zuq::Cmd::BootPageWritten;
                Put16(&w[1], 0x8000);
                send(w);
                state_ = TState::Done;
                if (OnImageComplete) OnImageComplete(image_, true);
                return;
            }
            state_ = TState::Transfer;
            RequestPage(0, send);
            return;
        }
        case zuq::Cmd::BootPage: {
            if (state_ != TState::Transfer || length < 3) return;
            const uint32_t page = U16(payload + 1);
            if (page != expected_) return;  // a duplicate or stale page: the one we asked for follows
            if (length < 3 + size_t(PageSize)) {
                RequestPage(expected_, send);  // truncated: ask again
                return;
            }
            const size_t offset = size_t(page) * PageSize;
            const size_t n = std::min<size_t>(PageSize, size_ - offset);
            std::copy(payload + 3, payload + 3 + n, image_.begin() + std::ptrdiff_t(offset));
            uint16_t status = uint16_t(page & 0x0FFF);
            if (int(page) == settings_.FlashErrorPage) {
                status |= 0x4000;
                flashError_ = true;
            }
            const bool last = page + 1 == pages_;
            if (last) status |= 0x8000;
            std::vector<uint8_t> w(3);
            w[0] = zuq::Cmd::BootPageWritten;
            Put16(&w[1], status);
            send(w);
            ++expected_;
            if (last) {
                state_ = TState::Done;
                if (OnImageComplete) OnImageComplete(image_, !flashError_);
            } else {
                RequestPage(expected_, send);
            }
            return;
        }
        default:
            return;  // the bootloader knows nothing else
    }
}

}  // namespace sim
