// POSIX serial devices through termios2, so that any baud rate can be set (BOTHER).
#include "link/serialDevice.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/portHolder.h"

namespace {

// Binary line discipline only: baud rate, byte size, parity and stop bits stay as the driver has them,
// so that an unconfigured port keeps the driver's line settings.
void MakeRaw(termios2& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~HUPCL;
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

std::string OpenErrorText(int err, const std::string& path) {
    switch (err) {
        case EACCES:
        case EPERM:
            return "permission denied: add your user to the dialout group "
                   "(sudo usermod -aG dialout $USER) and log in again";
        case EBUSY:
        case EWOULDBLOCK:
            return "the port is busy: " + BusyText(path);
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return "no such device: check the cable and the port name, then press Refresh";
        default:
            return std::strerror(err);
    }
}

}  // namespace

std::string TDCB::Describe() const {
    static const char parity[] = "NOEMS?";
    static const char* const stopBits[] = {"1", "1.5", "2", "?"};
    std::string text = std::to_string(BaudRate) + " bod " + std::to_string(ByteSize) +
                       parity[std::min<int>(Parity, 5)] + stopBits[std::min<int>(StopBits, 3)];
    if (Flags & (fOutxCtsFlow | fRtsControlHandshake)) text += " RTS/CTS";
    if (Flags & (fOutX | fInX)) text += " XON/XOFF";
    return text;
}

TSerialDevice::~TSerialDevice() {
    Close();
}

bool TSerialDevice::IsLostError(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

bool TSerialDevice::Open(const std::string& path, std::string& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OpenErrorText(errno, path);
        return false;
    }
    // No sharing: a second program (or a second Vek Tool) must not talk on the same line. The lock
    // stops those that ask for it; TIOCEXCL makes the kernel refuse every further open (root aside).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        error = OpenErrorText(EBUSY, path);
        return false;
    }
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0) {
        error = "not a serial port";
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    MakeRaw(tio);
    ::ioctl(fd, TCSETS2, &tio);
    // USB adapters deliver small packets sooner in low-latency mode; drivers that refuse it are fine.
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &serial);
    }
    fd_ = fd;
    error.clear();
    return true;
}

void TSerialDevice::Close() {
    std::lock_guard<std::mutex> gate(gate_);
    if (fd_ < 0) return;
    // What still waits for the line is of no use once the port is closed, and a driver closes only
    // after its output has drained: up to 30 s on a line that flow control or a deaf far end holds.
    ::ioctl(fd_, TCFLSH, TCOFLUSH);
    // Where the driver lets us (usually only root), it does not wait on close at all; the bytes
    // already inside the adapter would otherwise still be waited for.
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0 && serial.closing_wait != ASYNC_CLOSING_WAIT_NONE) {
        serial.closing_wait = ASYNC_CLOSING_WAIT_NONE;
        ::ioctl(fd_, TIOCSSERIAL, &serial);
    }
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    longestWrite_ = 0;
}

bool TSerialDevice::Apply(const TDCB& dcb, std::string* refused) {
    std::string reason;
    if (dcb.BaudRate == 0)
        reason = "baud rate 0";
    else if (dcb.ByteSize < 5 || dcb.ByteSize > 8)
        reason = "byte size " + std::to_string(dcb.ByteSize);
    else if (dcb.Parity > 4)
        reason = "parity " + std::to_string(dcb.Parity);
    else if (dcb.StopBits > 2)
        reason = "stop bits " + std::to_string(dcb.StopBits);
    if (refused) *refused = reason;
    if (fd_ < 0 || !dcb.Configured() || !reason.empty()) return false;
    termios2 tio{};
    if (::ioctl(fd_, TCGETS2, &tio) != 0) return false;
    const termios2 before = tio;
    MakeRaw(tio);
    // CIBAUD cleared: the input speed follows the output speed.
    tio.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_iflag &= ~INPCK;
    tio.c_cflag |= BOTHER;
    tio.c_ispeed = dcb.BaudRate;
    tio.c_ospeed = dcb.BaudRate;
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= sizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
        case 1:
            tio.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            tio.c_cflag |= PARENB;
            break;
        case 3:
            tio.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            tio.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (dcb.Parity != 0 && (dcb.Flags & TDCB::fParity)) tio.c_iflag |= INPCK;
    if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;  // 1.5 stop bits become 2
    if ((dcb.Flags & TDCB::fOutxCtsFlow) || (dcb.Flags & TDCB::fRtsControlMask) == TDCB::fRtsControlHandshake)
        tio.c_cflag |= CRTSCTS;
    if (dcb.Flags & TDCB::fOutX) tio.c_iflag |= IXON;
    if (dcb.Flags & TDCB::fInX) tio.c_iflag |= IXOFF;
    if (::ioctl(fd_, TCSETS2, &tio) != 0) {
        if (refused)
            *refused = "baud rate " + std::to_string(dcb.BaudRate) + " (" + std::strerror(errno) + ")";
        ::ioctl(fd_, TCSETS2, &before);
        return false;
    }
    return true;
}

bool TSerialDevice::Query(TDCB& dcb) const {
    termios2 tio{};
    if (fd_ < 0 || ::ioctl(fd_, TCGETS2, &tio) != 0) return false;
    dcb = TDCB{};
    dcb.DCBlength = TDCB::Size;
    dcb.BaudRate = tio.c_ospeed;
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            dcb.ByteSize = 5;
            break;
        case CS6:
            dcb.ByteSize = 6;
            break;
        case CS7:
            dcb.ByteSize = 7;
            break;
        default:
            dcb.ByteSize = 8;
            break;
    }
    if (tio.c_cflag & PARENB) {
        const bool odd = tio.c_cflag & PARODD;
        dcb.Parity = (tio.c_cflag & CMSPAR) ? (odd ? 3 : 4) : (odd ? 1 : 2);
    }
    dcb.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
    dcb.Flags = TDCB::fBinary;
    if (tio.c_cflag & CRTSCTS) dcb.Flags |= TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake;
    if (tio.c_iflag & INPCK) dcb.Flags |= TDCB::fParity;
    if (tio.c_iflag & IXON) dcb.Flags |= TDCB::fOutX;
    if (tio.c_iflag & IXOFF) dcb.Flags |= TDCB::fInX;
    return true;
}

void TSerialDevice::SetDtr(bool on) {
    int bit = TIOCM_DTR;
    if (fd_ >= 0) ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void TSerialDevice::SetRts(bool on) {
    int bit = TIOCM_RTS;
    if (fd_ >= 0) ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);
}

void TSerialDevice::DiscardOutput(const std::function<void()>& whileHeld) {
    std::lock_guard<std::mutex> gate(gate_);
    if (whileHeld) whileHeld();
    ++discards_;
    if (fd_ < 0) return;
    ::ioctl(fd_, TCFLSH, TCOFLUSH);
    // The queue was just emptied, so the zeros fit; a short write only means the driver is odd.
    static const uint8_t zeros[256] = {};
    if (longestWrite_ > 0) (void)!::write(fd_, zeros, std::min(longestWrite_, sizeof zeros));
    longestWrite_ = 0;
}

int TSerialDevice::OutputQueued() const {
    int queued = 0;
    if (fd_ < 0 || ::ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

long TSerialDevice::Read(uint8_t* buffer, size_t size) {
    if (fd_ < 0) return -1;
    const ssize_t n = ::read(fd_, buffer, size);
    if (n > 0) return long(n);
    // A raw line with VMIN = VTIME = 0 reads 0 bytes when nothing is waiting; a hang-up shows in poll().
    if (n == 0 || errno == EAGAIN || errno == EINTR) return 0;
    return IsLostError(errno) ? -1 : 0;
}

bool TSerialDevice::WriteAll(const uint8_t* data, size_t size, int timeoutMs, bool& lost,
                             const std::function<bool()>& cancel) {
    lost = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // A raw write from the GUI thread must not land in the middle of a packet from the writer thread.
    // Contention is rare and short (one packet), so waiting in 1 ms steps costs nothing in practice.
    std::unique_lock<std::mutex> lock(writing_, std::try_to_lock);
    while (!lock.owns_lock()) {
        if (std::chrono::steady_clock::now() >= deadline || (cancel && cancel())) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        lock.try_lock();
    }
    size_t done = 0;
    uint32_t discardsAtStart = 0;
    while (done < size) {
        if (fd_ < 0) return false;
        ssize_t n;
        int err = 0;
        {
            std::lock_guard<std::mutex> gate(gate_);
            if (done == 0) discardsAtStart = discards_;
            if ((cancel && cancel()) || discards_ != discardsAtStart) return false;
            n = ::write(fd_, data + done, size - done);
            err = errno;
            if (size > longestWrite_) longestWrite_ = size;
        }
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && err != EAGAIN && err != EINTR) {
            lost = IsLostError(err);
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline || (cancel && cancel())) return false;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 20);
        if (p.revents & (POLLHUP | POLLERR)) {
            lost = true;
            return false;
        }
    }
    return true;
}
