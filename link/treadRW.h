// The serial port object: opens and closes the port, owns the transmit and receive rings, runs the
// reader and writer threads and hands every received packet to the GUI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/comLink.h"
#include "link/serialDevice.h"
#include "link/zuq.h"

class QWidget;
class TComRead;
class TComWrite;

// 64 packet slots with a single producer and a single consumer.
struct TPacketRing {
    static constexpr int Slots = 64;
    std::atomic<int32_t> ReadIndex{0};
    std::atomic<int32_t> WriteIndex{0};
    zuq::TPacket Slot[Slots];
    // Transmit ring only: the number each packet got when it was queued (1, 2, ...), so that a packet
    // taken back after it was queued is known to the writer.
    uint64_t Serial[Slots] = {};

    void Clear();
    int Waiting() const;
};

class TComRW : public TComLink {
public:
    using TRawDataEvent = std::function<void(const uint8_t* buffer, uint8_t count)>;
    using TPacketEvent = std::function<void(const uint8_t* payload, uint8_t length, uint8_t channel)>;
    using TDeviceLostEvent = std::function<void()>;

    TComRW();
    ~TComRW() override;
    TComRW(const TComRW&) = delete;
    TComRW& operator=(const TComRW&) = delete;

    // Opens or closes the port; does nothing when the state already matches.
    void SetActive(bool value);
    bool Active() const { return open_; }
    bool IsOpen() const override { return open_; }

    // The port name as given to the device layer (a device path such as /dev/ttyUSB0).
    std::string PortName = "COM1";

    // Why the last SetActive(true) failed, in words an operator can act on; empty after success.
    const std::string& LastError() const { return lastError_; }
    // The setting that the driver refused when the line settings were last applied ("baud rate 0"),
    // empty when they were taken. The port stays open on the driver's settings meanwhile.
    const std::string& RefusedSetting() const { return refused_; }

    TDCB GetLineSettings() const { return lineSettings_; }
    // Stores a copy; applies it at once when the port is open and the block is configured.
    void SetLineSettings(const TDCB& settings);
    // The settings the open line runs at, as the driver reports them; false while closed.
    bool LineInUse(TDCB& settings) const;

    // The port settings dialog: closes the port, lets the operator edit the line settings, and reopens
    // the port if it was open. Returns true when the operator confirmed.
    bool ShowConfigDialog(QWidget* parent = nullptr);

    // Send operations (GUI thread). All return false and queue nothing while the port is closed, and
    // when 63 packets already wait in the transmit ring.
    bool QueuePacket(uint8_t address, const uint8_t* data, size_t length, uint8_t channel) override;
    void SetControlLines(bool clearDtr, bool clearRts) override;
    bool WriteRaw(const uint8_t* buffer, uint8_t count) override;
    void DiscardQueued(uint8_t command) override;
    // Every packet queued so far has been handed to the driver (or taken back) and the driver holds
    // no output that has not gone out, where it says so. Closing the port discards what is not sent,
    // so a caller whose last packet must reach the controller waits for this first. true while closed.
    bool OutputSent() const;

    // Events, each called on the GUI thread, one at a time, in the order the reader produced them.
    // Assign them before opening: the reader learns at opening whether OnRawData is wanted (it then
    // hands every read over, in front of the packets made from it).
    TRawDataEvent OnRawData;
    TPacketEvent OnPacket;
    TDeviceLostEvent OnDeviceLost;
    // Called after every change of DTR and RTS, also the one that clears both right after each open
    // (a system raises both when a port opens, holding a controller whose reset follows them).
    // A pseudo-terminal has no lines, so this is where tests see them.
    std::function<void(bool clearDtr, bool clearRts)> OnControlLines;

private:
    friend class TComRead;
    friend class TComWrite;
    void DoDeviceLost();
    void StopThreads();
    bool OpenDevice(TSerialDevice& device);
    void ApplyLines(TSerialDevice& device, bool clearDtr, bool clearRts);

    std::shared_ptr<TSerialDevice> device_;
    TPacketRing rxRing_;
    TPacketRing txRing_;
    std::shared_ptr<TComRead> reader_;
    std::shared_ptr<TComWrite> writer_;
    bool open_ = false;
    TDCB lineSettings_{};
    std::string lastError_;
    std::string refused_;
    uint64_t queued_ = 0;               // packets queued since the port opened
    std::atomic<uint64_t> handled_{0};  // the number of the last packet the writer is done with
    // Per command code: packets numbered up to this were taken back and must not be written.
    std::atomic<uint64_t> discardedUpTo_[256] = {};
};
