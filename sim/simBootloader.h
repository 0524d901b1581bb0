// The controller's bootloader: restarts into it on request, takes an image page by page at its own
// pace (it asks for each page), and reports each page written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sim {

constexpr uint16_t DefaultDeviceCode = 0x5645;  // the device word the simulated bootloader accepts
constexpr uint16_t BootVersion = 0x0213;        // v2.3
constexpr int PageSize = 128;
// As large as an image file may be; the written status carries the page number modulo 4096 (12 bits).
constexpr uint32_t MaxImageSize = 0x100000;
constexpr int64_t BootStartUs = 200'000;  // restart time into the bootloader

struct TBootSettings {
    uint16_t DeviceCode = DefaultDeviceCode;
    int FlashErrorPage = -1;  // the page whose write reports a flash error, -1 for none
};

class TSimBootloader {
public:
    using TSend = std::function<void(const std::vector<uint8_t>& payload)>;
    enum class TState { Off, Starting, WaitInfo, Transfer, Done };

    explicit TSimBootloader(const TBootSettings& settings = {}) : settings_(settings) {}

    // The application hands over: the bootloader runs BootStartUs later and announces itself.
    void Enter(int64_t nowUs);
    // Back to the application (SoftReset).
    void Leave() { state_ = TState::Off; }
    bool Running() const { return state_ != TState::Off; }
    TState State() const { return state_; }

    void Tick(int64_t nowUs, const TSend& send);
    int64_t NextDueUs() const;  // INT64_MAX when nothing is scheduled
    // A request on the bootloader's channel (payload byte 0 is the command).
    void Handle(const uint8_t* payload, size_t length, const TSend& send);
    // The raw wake-up sequence arrived: a waiting bootloader announces itself again.
    void WakeUp(int64_t nowUs, const TSend& send);

    // The last completed image and whether every page of it was written without a flash error.
    bool Completed() const { return state_ == TState::Done; }
    bool CompletedClean() const { return state_ == TState::Done && !flashError_; }
    const std::vector<uint8_t>& Image() const { return image_; }
    uint32_t ExpectedPage() const { return expected_; }

    // Called once when the last page of an image has been written.
    std::function<void(const std::vector<uint8_t>& image, bool clean)> OnImageComplete;

private:
    void RequestPage(uint32_t page, const TSend& send);

    TBootSettings settings_;
    TState state_ = TState::Off;
    int64_t readyAtUs_ = 0;
    int64_t lastReadyUs_ = 0;
    uint16_t code_ = 0;
    uint32_t size_ = 0;
    uint32_t pages_ = 0;
    uint32_t expected_ = 0;
    bool flashError_ = false;
    std::vector<uint8_t> image_;
};

}  // namespace sim
