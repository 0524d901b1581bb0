// The bootloader update, without widgets: asks the controller to enter its bootloader, pulses DTR and
// RTS and writes the wake-up sequence while it waits (detection), then answers the bootloader's page
// requests from its own copy of the image until the last page is written, and resets the controller
// into the new firmware. The firmware frame and the command line drive it alike: replies and timer
// ticks in, packets, log lines, progress and state out.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "firmware/firmwareImage.h"

class TComLink;

class TBootUpdate : public QObject {
    Q_OBJECT
public:
    enum class TState {
        Idle,          // nothing started yet
        Detecting,     // waiting for the bootloader, at most DetectTicks ticks
        Transferring,  // the bootloader answered: its page requests are served
        Resetting,     // every page written: the reset pulse runs, then SoftReset
        Finished,      // the controller was reset into the new image
        Failed,        // ended without a good image in the controller; Failure() says why
    };
    enum class TFailure { None, NoBootloader, InvalidDevice, SizeMismatch, FlashError, DeviceLost, Reset };

    static constexpr int DetectTicks = 50;  // 100 ms each: 5 s for the operator to press RESET
    static constexpr int SilenceMs = 5000;  // longest quiet of the bootloader during a transfer
    static constexpr int PulseMs = 100;     // how long DTR and RTS stay set for a reset

    explicit TBootUpdate(TComLink& port, QObject* parent = nullptr);

    // Starts an update of `image` on the controller that `netBit` addresses (0x00 or 0x80); the image
    // is copied, so nothing done to the caller's image afterwards reaches the controller. Refused
    // (false) while Busy().
    bool Start(const TFirmwareImage& image, uint8_t netBit);
    // SoftReset and the reset pulse; a running update ends (Failed, Reset).
    void Reset(uint8_t netBit);
    // The port went away: whatever runs ends here (Failed, DeviceLost), said once in the log.
    void DeviceLost();

    // A reply; false when it is the bootloader's (taken), true to pass it on.
    bool HandleReply(const uint8_t* payload, uint8_t length);

    // Timer handlers, public so that tests and callers with their own clock can step them.
    void DetectTick();      // every 100 ms while detecting
    void SilenceTimeout();  // SilenceMs after the bootloader's last reply during a transfer
    void PulseEnd();        // PulseMs after a reset pulse began

    TState State() const { return state_; }
    TFailure Failure() const { return failure_; }
    // While true, the image must not be replaced and no update may start.
    bool Busy() const { return Running() || state_ == TState::Resetting || PulsePending(); }
    bool Running() const { return state_ == TState::Detecting || state_ == TState::Transferring; }
    bool PulsePending() const { return pulseTimer_.isActive(); }
    const TFirmwareImage& Image() const { return image_; }
    const std::vector<uint16_t>& FlashErrorPages() const { return flashErrors_; }

    std::function<void(const QString&)> OnLog;
    std::function<void(int)> OnProgress;  // 0..100
    // After every change of State() or of Busy().
    std::function<void(TState)> OnState;

private:
    void log(const QString& text);
    void setState(TState state);
    void fail(TFailure failure);
    void progress(int position);
    void stopDetection();
    void bootloaderAnswered();
    void sendBootInfo();
    void pageWritten(uint16_t status);
    // Sets DTR and RTS, clears them PulseMs later and then runs `after`. A second pulse while one is
    // pending keeps the lines set until PulseMs after the latest one; both follow-ups run, in order.
    void startPulse(std::function<void()> after);

    TComLink& port_;
    TFirmwareImage image_;
    uint8_t netBit_ = 0;
    TState state_ = TState::Idle;
    TFailure failure_ = TFailure::None;
    int ticks_ = -1;  // detection ticks so far, -1 when not detecting
    bool infoPending_ = false;
    uint16_t lastPage_ = 0;
    std::vector<uint16_t> flashErrors_;
    QTimer detectTimer_;
    QTimer silenceTimer_;
    QTimer pulseTimer_;
    std::function<void()> afterPulse_;
};
