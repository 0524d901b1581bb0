#include "support/ptyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace {
using Clock = std::chrono::steady_clock;

int MakeRaw(int fd) {
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) cfmakeraw(&tio), tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

// Waits up to 10 ms, and no longer than the deadline, for the terminal to become ready for `events`;
// false once the deadline has passed.
bool Await(int fd, short events, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, events, 0};
    return left > 0 && (poll(&p, 1, int(std::min<long long>(left, 10))), true);
}

// Reads while want() > 0 (at most that many bytes at a time), giving what came to take(), until the time
// is up.
template <class Want, class Take>
void ReadWhile(int fd, int timeoutMs, Want want, Take take) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[512];
    for (size_t n; fd >= 0 && (n = std::min(sizeof buf, want())) > 0;) {
        const ssize_t got = ::read(fd, buf, n);
        if (got > 0)
            take(buf, size_t(got));
        else if (!Await(fd, POLLIN, deadline))
            return;
    }
}
}  // namespace

TPtyPeer::TPtyPeer() : master_(MakeRaw(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))) {
    char name[256] = {};
    if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0 &&
        ptsname_r(master_, name, sizeof name) == 0)
        slaveName_ = name;
}

TPtyPeer::TPtyPeer(const std::string& terminal)
    : master_(MakeRaw(::open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))),
      slaveName_(terminal) {}

TPtyPeer::~TPtyPeer() {
    Close();
}

void TPtyPeer::Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool TPtyPeer::WriteBytes(const std::vector<uint8_t>& bytes) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = master_ < 0 ? -1 : ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (master_ < 0 || !Await(master_, POLLOUT, deadline))
            return false;
    }
    return true;
}

bool TPtyPeer::Send(uint8_t channel, const std::vector<uint8_t>& payload) {
    return WriteBytes(Wire(channel, payload));
}

std::vector<uint8_t> TPtyPeer::Wire(uint8_t channel, const std::vector<uint8_t>& payload, uint8_t address) {
    zuq::TPacket packet;
    zuq::BuildPacket(packet, channel, payload.data(), payload.size(), address);
    return std::vector<uint8_t>(packet.Bytes, packet.Bytes + zuq::PacketSize(packet));
}

std::vector<uint8_t> TPtyPeer::ReadBytes(size_t count, int timeoutMs) {
    std::vector<uint8_t> out;
    ReadWhile(
        master_, timeoutMs, [&] { return count - out.size(); },
        [&](const uint8_t* b, size_t n) { out.insert(out.end(), b, b + n); });
    return out;
}

std::vector<TPeerPacket> TPtyPeer::ReadPackets(size_t count, int timeoutMs) {
    std::vector<TPeerPacket> out;
    ReadWhile(
        master_, timeoutMs, [&] { return out.size() < count ? size_t(512) : 0; },
        [&](const uint8_t* b, size_t n) {
            for (size_t i = 0; i < n; ++i)
                if (collector_.Collect(slot_, b[i]))
                    out.push_back({slot_.Channel(), {slot_.Payload(), slot_.Payload() + slot_.Length()}});
        });
    return out;
}
