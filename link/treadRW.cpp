#include "link/treadRW.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "link/syncThread.h"

void TPacketRing::Clear() {
    ReadIndex = 0;
    WriteIndex = 0;
    for (auto& slot : Slot) std::memset(slot.Bytes, 0, sizeof slot.Bytes);
}

int TPacketRing::Waiting() const {
    return (WriteIndex.load(std::memory_order_acquire) - ReadIndex.load(std::memory_order_acquire) + Slots) %
           Slots;
}

// Reader: blocks in poll() on the device and a wake-up descriptor, feeds every byte to its collector and
// hands each complete packet to the GUI thread, waiting until the handler has returned.
class TComRead : public TSyncThread {
public:
    TComRead(TComRW* owner, std::shared_ptr<TSerialDevice> device, bool wantRawData)
        : owner_(owner), device_(std::move(device)), wantRawData_(wantRawData) {
        wake_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~TComRead() override {
        if (wake_ >= 0) ::close(wake_);
    }
    // Set by the writer when a write found the device gone.
    void ReportLost() {
        writeLost_ = true;
        WakeUp();
    }

protected:
    void WakeUp() override {
        const uint64_t one = 1;
        if (wake_ >= 0) (void)!::write(wake_, &one, sizeof one);
    }

    void Execute() override {
        TPacketRing& ring = owner_->rxRing_;
        while (!Terminated()) {
            pollfd fds[2] = {{device_->Fd(), POLLIN, 0}, {wake_, POLLIN, 0}};
            // Without a wake-up descriptor (none could be made) a stop is noticed within 10 ms.
            const int ready = ::poll(fds, 2, wake_ >= 0 ? -1 : 10);
            if (Terminated()) return;
            if (ready < 0) continue;
            if (fds[1].revents & POLLIN) {
                uint64_t drained;
                (void)!::read(wake_, &drained, sizeof drained);
            }
            bool lost = writeLost_.load();
            if (fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) {
                const long n = device_->Read(buffer_, sizeof buffer_);
                if (n < 0 || (n == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)))) lost = true;
                if (n > 0) {
                    count_ = uint8_t(n);
                    if (wantRawData_ && (!Synchronize([this] { DoRawData(); }) || Terminated())) return;
                    for (long i = 0; i < n; ++i) {
                        if (!collector_.Collect(ring.Slot[ring.WriteIndex], buffer_[i])) continue;
                        if (!Synchronize([this] { DoPacket(); })) return;
                        if (Terminated()) return;
                        int next = (ring.WriteIndex + 1) % TPacketRing::Slots;
                        if (next == ring.ReadIndex)
                            next = (next + TPacketRing::Slots - 1) % TPacketRing::Slots;
                        ring.WriteIndex = next;
                    }
                }
            }
            if (lost) {
                Synchronize([this] { owner_->DoDeviceLost(); });
                return;
            }
        }
    }

private:
    void DoRawData() {
        if (owner_->OnRawData) owner_->OnRawData(buffer_, count_);
    }
    void DoPacket() {
        const zuq::TPacket& slot = owner_->rxRing_.Slot[owner_->rxRing_.WriteIndex];
        if (owner_->OnPacket) owner_->OnPacket(slot.Payload(), slot.Length(), slot.Channel());
    }

    TComRW* owner_;
    std::shared_ptr<TSerialDevice> device_;
    bool wantRawData_;
    int wake_ = -1;
    std::atomic<bool> writeLost_{false};
    zuq::TCollectorZUQ collector_;
    uint8_t buffer_[255] = {};
    uint8_t count_ = 0;
};

// Writer: sleeps until a packet is queued, then writes the waiting packets one by one, in order, each
// completely before its slot is released.
class TComWrite : public TSyncThread {
public:
    static constexpr int DriverBacklog = 64;  // bytes

    TComWrite(TComRW* owner, std::shared_ptr<TSerialDevice> device, std::shared_ptr<TComRead> reader)
        : owner_(owner), device_(std::move(device)), reader_(std::move(reader)) {}

    void Notify() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queued_ = true;
        }
        cv_.notify_one();
    }

protected:
    void WakeUp() override { Notify(); }

    void Execute() override {
        TPacketRing& ring = owner_->txRing_;
        uint8_t local[zuq::MaxPacket];
        while (!Terminated()) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cv_.wait(lock, [&] { return queued_ || Terminated(); });
                queued_ = false;
            }
            while (!Terminated() && ring.ReadIndex.load(std::memory_order_acquire) !=
                                        ring.WriteIndex.load(std::memory_order_acquire)) {
                const int index = ring.ReadIndex.load(std::memory_order_relaxed);
                const uint8_t size = zuq::PacketSize(ring.Slot[index]);
                std::memcpy(local, ring.Slot[index].Bytes, size);
                const uint64_t serial = ring.Serial[index];
                const std::atomic<uint64_t>& discarded =
                    owner_->discardedUpTo_[ring.Slot[index].Bytes[zuq::OffPayload]];
                ring.ReadIndex.store((index + 1) % TPacketRing::Slots, std::memory_order_release);
                // Where the driver says how much it still holds, the backlog of a slow line stays in the
                // ring, where a packet can still be taken back whole, rather than in the driver.
                while (device_->OutputQueued() > DriverBacklog && !Terminated()) SleepFor(1);
                bool lost = false;
                // The device asks again right before each write: a packet taken back meanwhile stops there.
                device_->WriteAll(local, size, 2000, lost, [this, serial, &discarded] {
                    return Terminated() || serial <= discarded.load(std::memory_order_acquire);
                });
                if (lost) {
                    if (auto reader = reader_.lock()) reader->ReportLost();
                    return;
                }
                owner_->handled_.store(serial, std::memory_order_release);
            }
        }
    }

private:
    TComRW* owner_;
    std::shared_ptr<TSerialDevice> device_;
    std::weak_ptr<TComRead> reader_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool queued_ = false;
};

TComRW::TComRW() = default;

TComRW::~TComRW() {
    SetActive(false);
}

void TComRW::SetActive(bool value) {
    if (value == open_) return;
    if (value) {
        open_ = true;
        auto device = std::make_shared<TSerialDevice>();
        if (!OpenDevice(*device)) {
            open_ = false;
            return;
        }
        refused_.clear();
        if (lineSettings_.Configured()) device->Apply(lineSettings_, &refused_);
        rxRing_.Clear();
        txRing_.Clear();
        queued_ = 0;
        handled_.store(0, std::memory_order_relaxed);
        for (auto& upTo : discardedUpTo_) upTo.store(0, std::memory_order_relaxed);
        device_ = device;
        reader_ = std::make_shared<TComRead>(this, device, bool(OnRawData));
        writer_ = std::make_shared<TComWrite>(this, device, reader_);
        reader_->Start();
        writer_->Start();
        return;
    }
    open_ = false;
    StopThreads();
}

void TComRW::StopThreads() {
    // Stop() does not wait for a reader that is inside one of its own hand-overs (a handler that closes
    // the port): that reader ends on its own when the handler returns, without touching the device.
    if (writer_) writer_->Stop();
    if (reader_) reader_->Stop();
    writer_.reset();
    reader_.reset();
    if (device_) device_->Close();
    device_.reset();
}

void TComRW::DoDeviceLost() {
    open_ = false;
    StopThreads();
    if (OnDeviceLost) OnDeviceLost();
}

bool TComRW::OpenDevice(TSerialDevice& device) {
    if (!device.Open(PortName, lastError_)) return false;
    ApplyLines(device, true, true);
    return true;
}

void TComRW::ApplyLines(TSerialDevice& device, bool clearDtr, bool clearRts) {
    device.SetDtr(!clearDtr);
    device.SetRts(!clearRts);
    if (OnControlLines) OnControlLines(clearDtr, clearRts);
}

void TComRW::SetLineSettings(const TDCB& settings) {
    lineSettings_ = settings;
    if (open_ && device_ && lineSettings_.Configured()) device_->Apply(lineSettings_, &refused_);
}

bool TComRW::LineInUse(TDCB& settings) const {
    return open_ && device_ && device_->Query(settings);
}

bool TComRW::QueuePacket(uint8_t address, const uint8_t* data, size_t length, uint8_t channel) {
    if (!open_ || !writer_) return false;
    // One slot always stays free: a full ring would look empty to the writer.
    if (txRing_.Waiting() >= TPacketRing::Slots - 1) return false;
    const int index = txRing_.WriteIndex.load(std::memory_order_relaxed);
    zuq::BuildPacket(txRing_.Slot[index], channel, data, length, address);
    txRing_.Serial[index] = ++queued_;
    txRing_.WriteIndex.store((index + 1) % TPacketRing::Slots, std::memory_order_release);
    writer_->Notify();
    return true;
}

bool TComRW::OutputSent() const {
    if (!open_ || !device_) return true;
    return handled_.load(std::memory_order_acquire) == queued_ && device_->OutputQueued() == 0;
}

void TComRW::DiscardQueued(uint8_t command) {
    if (!open_ || !device_) return;
    // Under the device's write gate: the writer either wrote before (and the flush takes those bytes
    // back) or sees the mark before its next write.
    device_->DiscardOutput(
        [this, command] { discardedUpTo_[command].store(queued_, std::memory_order_release); });
}

void TComRW::SetControlLines(bool clearDtr, bool clearRts) {
    if (open_ && device_) ApplyLines(*device_, clearDtr, clearRts);
}

bool TComRW::WriteRaw(const uint8_t* buffer, uint8_t count) {
    if (!open_ || !device_) return false;
    bool lost = false;
    return device_->WriteAll(buffer, count, 100 + count, lost);
}
