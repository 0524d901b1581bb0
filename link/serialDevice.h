// The serial device layer: one open serial port, POSIX (termios, poll, ioctl).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

// Line settings in the 28-byte layout of a Windows device-control block, so that settings files read
// the same on every platform. Flag bits keep their Windows meanings (TDCB::f... masks).
struct TDCB {
    uint32_t DCBlength = 0;  // 0 = not configured: opening keeps the driver's settings
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;

    static constexpr uint32_t Size = 28;
    // Flag word bits (Windows meanings).
    static constexpr uint32_t fBinary = 1u << 0;
    static constexpr uint32_t fParity = 1u << 1;
    static constexpr uint32_t fOutxCtsFlow = 1u << 2;
    static constexpr uint32_t fOutxDsrFlow = 1u << 3;
    static constexpr uint32_t fDtrControlMask = 3u << 4;
    static constexpr uint32_t fDsrSensitivity = 1u << 6;
    static constexpr uint32_t fTXContinueOnXoff = 1u << 7;
    static constexpr uint32_t fOutX = 1u << 8;
    static constexpr uint32_t fInX = 1u << 9;
    static constexpr uint32_t fErrorChar = 1u << 10;
    static constexpr uint32_t fNull = 1u << 11;
    static constexpr uint32_t fRtsControlMask = 3u << 12;
    static constexpr uint32_t fRtsControlHandshake = 2u << 12;
    static constexpr uint32_t fAbortOnError = 1u << 14;

    bool Configured() const { return DCBlength != 0; }
    // "115200 bod 8N1", with the flow control when there is one: for log lines.
    std::string Describe() const;
};
static_assert(sizeof(TDCB) == TDCB::Size, "TDCB must keep the 28-byte device-control block layout");

// One open serial device. Opening always puts the line in raw mode (no echo, no line editing, no
// character translation): the protocol is binary. Configured line settings are applied on top.
class TSerialDevice {
public:
    TSerialDevice() = default;
    ~TSerialDevice();
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;

    // Opens the device exclusively (a lock and the kernel's exclusive mode), non-blocking, in raw
    // mode. On failure returns false and sets `error` to a reason an operator can act on; for a busy
    // port it names the holder where the system shows it.
    bool Open(const std::string& path, std::string& error);
    // Discards output that has not gone out yet and closes without waiting for the line to drain.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // Applies configured line settings. A block the driver cannot take (baud rate 0, byte size
    // outside 5..8, unknown parity or stop bits, a rate the driver rejects) changes nothing and
    // returns false; `refused` then names the setting ("baud rate 0"), else it is emptied.
    bool Apply(const TDCB& settings, std::string* refused = nullptr);
    // Reads back what the driver has now, as a configured block.
    bool Query(TDCB& settings) const;

    // DTR and RTS; a device that refuses them (a pseudo-terminal) is not an error.
    void SetDtr(bool on);
    void SetRts(bool on);

    // Non-blocking read; returns bytes read, 0 when nothing is waiting, -1 when the device is gone.
    long Read(uint8_t* buffer, size_t size);
    // Writes all bytes, waiting for room up to timeoutMs or until `cancel` returns true. Returns
    // false when the device is gone, the time ran out or the write was cancelled; sets `lost` when gone.
    // Writes from different threads never interleave: each waits (within its time) for the other.
    // `cancel` is asked right before every write to the driver, inside the same gate as DiscardOutput;
    // a buffer that DiscardOutput cut in the middle is not finished either.
    bool WriteAll(const uint8_t* data, size_t size, int timeoutMs, bool& lost,
                  const std::function<bool()>& cancel = {});
    // Runs `whileHeld`, throws away what the driver holds but has not sent yet, and then writes as
    // many zero bytes as the longest buffer written since the last discard. A packet that the discard
    // cut short would otherwise take the start of the next one as its rest; the zeros end it instead,
    // either as a packet with a wrong sum or, when its lost tail was all zeros, as itself.
    void DiscardOutput(const std::function<void()>& whileHeld = {});
    // Bytes the driver holds that have not gone out yet; 0 where the driver does not say (a
    // pseudo-terminal).
    int OutputQueued() const;

    // Errors that mean the device went away (USB adapter unplugged, far end of a pty closed).
    static bool IsLostError(int err);

private:
    int fd_ = -1;
    std::mutex writing_;  // one writer of bytes at a time, for a whole buffer
    std::mutex gate_;     // one write() call, or one discard, at a time
    // Under gate_: discards so far, and the longest buffer written since the last one.
    uint32_t discards_ = 0;
    size_t longestWrite_ = 0;
};
