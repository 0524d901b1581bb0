#include "simClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}
}  // namespace

TSimClient::TSimClient(const std::string& port) {
    fd_ = open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd_, TCSANOW, &tio);
    }
}

TSimClient::~TSimClient() {
    if (fd_ >= 0) close(fd_);
}

bool TSimClient::WriteRaw(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        if (MsLeft(deadline) == 0) return false;
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 10);
    }
    return true;
}

bool TSimClient::Send(uint8_t channel, const std::vector<uint8_t>& payload) {
    zuq::TPacket packet;
    zuq::BuildPacket(packet, channel, payload.data(), payload.size());
    return WriteRaw(std::vector<uint8_t>(packet.Bytes, packet.Bytes + zuq::PacketSize(packet)));
}

std::vector<TSimReply> TSimClient::Read(size_t count, int timeoutMs) {
    std::vector<TSimReply> out;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < count && fd_ >= 0) {
        uint8_t buf[512];
        const ssize_t n = read(fd_, buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i) {
            if (collector_.Collect(slot_, buf[i])) {
                out.push_back({slot_.Channel(), {slot_.Payload(), slot_.Payload() + slot_.Length()}});
            }
        }
        if (n > 0) continue;
        const int left = MsLeft(deadline);
        if (left == 0) break;
        pollfd p{fd_, POLLIN, 0};
        poll(&p, 1, std::min(left, 20));
    }
    return out;
}

bool TSimClient::Ask(uint8_t channel, const std::vector<uint8_t>& payload, uint8_t code, TSimReply& reply,
                     int timeoutMs) {
    if (!Send(channel, payload)) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (MsLeft(deadline) > 0) {
        for (auto& r : Read(1, MsLeft(deadline))) {
            if (!r.payload.empty() && r.payload[0] == code) {
                reply = std::move(r);
                return true;
            }
        }
    }
    return false;
}

bool TSimClient::WaitHangup(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t buf[512];
    for (;;) {
        const ssize_t n = read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EIO) return true;
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && (p.revents & (POLLHUP | POLLERR))) return true;
        if (MsLeft(deadline) == 0) return false;
    }
}
