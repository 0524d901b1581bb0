#include "support/ptyPeer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace {
using Clock = std::chrono::steady_clock;
int MsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

void MakeRaw(int fd) {
    termios tio{};
    if (fd >= 0 && tcgetattr(fd, &tio) == 0) cfmakeraw(&tio), tcsetattr(fd, TCSANOW, &tio);
}
}  // namespace

TPtyPeer::TPtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) return;
    grantpt(master_);
    unlockpt(master_);
    char name[256] = {};
    if (ptsname_r(master_, name, sizeof name) == 0) slaveName_ = name;
    MakeRaw(master_);
}

TPtyPeer::TPtyPeer(const std::string& terminal) : slaveName_(terminal) {
    master_ = ::open(terminal.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    MakeRaw(master_);
}

TPtyPeer::~TPtyPeer() {
    Close();
}

void TPtyPeer::Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

bool TPtyPeer::WriteBytes(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (done < bytes.size() && master_ >= 0) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else {
            if (Clock::now() > deadline) return false;
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 10);
        }
    }
    return done == bytes.size();
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
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && master_ >= 0) {
        uint8_t buf[512];
        ssize_t n = ::read(master_, buf, std::min(sizeof buf, count - out.size()));
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
            continue;
        }
        int left = MsLeft(deadline);
        if (left == 0) break;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, std::min(left, 10));
    }
    return out;
}

std::vector<TPeerPacket> TPtyPeer::ReadPackets(size_t count, int timeoutMs) {
    std::vector<TPeerPacket> out;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && master_ >= 0) {
        uint8_t buf[512];
        ssize_t n = ::read(master_, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i) {
            if (collector_.Collect(slot_, buf[i])) {
                TPeerPacket p;
                p.channel = slot_.Channel();
                p.payload.assign(slot_.Payload(), slot_.Payload() + slot_.Length());
                out.push_back(std::move(p));
            }
        }
        if (n > 0) continue;
        int left = MsLeft(deadline);
        if (left == 0) break;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, std::min(left, 10));
    }
    return out;
}
