#include "sim/simLine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "link/simPortFolder.h"
#include "sim/simTrace.h"

namespace sim {

namespace {
constexpr size_t OutputLimit = 64 * 1024;  // beyond this the program is not reading: drop, as a UART would
constexpr size_t InputLimit = 64 * 1024;   // bytes waiting for their wire time; a UART would overrun
constexpr int64_t HangupRetryUs = 20'000;  // how often to look for a reopened port while nobody has it open
int StopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char b = 1;
    const ssize_t ignored = ::write(StopPipe[1], &b, 1);
    (void)ignored;
}
}  // namespace

TSimLine::TSimLine(const TSimOptions& options) : options_(options), random_(options.Line.Seed) {
    if (options_.Line.Baud > 0) byteUs_ = 10e6 / options_.Line.Baud;  // 8N1: ten bits a byte
    controller_ = std::make_unique<TSimController>(
        options_.Settings,
        [this](uint8_t channel, const std::vector<uint8_t>& payload) { Send(channel, payload); });
    controller_->OnPacketIn = [this](uint8_t channel, const uint8_t* payload, uint8_t length) {
        ++packetsIn_;
        const bool answer = options_.Line.SilentAfter < 0 || packetsIn_ <= options_.Line.SilentAfter;
        if (options_.Line.Trace) {
            const std::string to = "to=" + controller_->TargetName(channel) + (answer ? "" : " (silent)");
            Trace(TraceLine(MonotonicUs(), "in", channel, payload, length, to.c_str()));
        }
        if (!answer && !silent_) {
            silent_ = true;
            output_.clear();
            delayed_.clear();
        }
        return answer;
    };
    controller_->OnNote = [this](const std::string& text) {
        if (options_.Line.Trace) Trace(NoteLine(MonotonicUs(), text));
    };
    controller_->OnImageComplete = [this](const std::vector<uint8_t>& image, bool) { DumpImage(image); };
}

TSimLine::~TSimLine() {
    if (master_ >= 0) ::close(master_);
}

void TSimLine::Trace(const std::string& line) {
    std::fputs(line.c_str(), stderr);
}

void TSimLine::DumpImage(const std::vector<uint8_t>& image) {
    const std::string& path = options_.Line.DumpFirmware;
    if (path.empty()) return;
    // Written beside the target and renamed, so a reader never sees half an image.
    const std::string temp = path + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    bool ok = f != nullptr;
    if (ok && !image.empty()) ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (f != nullptr && std::fclose(f) != 0) ok = false;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::fprintf(stderr, "%s vek-sim: cannot write the firmware image to %s: %s\n",
                     std::to_string(MonotonicUs()).c_str(), path.c_str(), std::strerror(errno));
        std::remove(temp.c_str());
    }
}

bool TSimLine::Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[256] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    portName_ = name;
    // Raw from the start, so that nothing the program sends is echoed back before it sets its own mode.
    termios tio{};
    if (tcgetattr(master_, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
    }
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    return true;
}

void TSimLine::Send(uint8_t channel, const std::vector<uint8_t>& payload) {
    if (silent_) return;
    const int64_t now = MonotonicUs();
    zuq::TPacket packet;
    zuq::BuildPacket(packet, channel, payload.data(), payload.size());
    std::vector<uint8_t> bytes(packet.Bytes, packet.Bytes + zuq::PacketSize(packet));
    const char* fault = nullptr;
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (options_.Line.Drop > 0 && chance(random_) < options_.Line.Drop) {
        fault = "(dropped)";
    } else if (options_.Line.Corrupt > 0 && chance(random_) < options_.Line.Corrupt) {
        // One flipped bit after the magic: the sum no longer matches (or the length is wrong).
        std::uniform_int_distribution<size_t> where(zuq::OffChannel, bytes.size() - 1);
        std::uniform_int_distribution<int> bit(0, 7);
        bytes[where(random_)] ^= uint8_t(1u << bit(random_));
        fault = "(corrupted)";
    }
    if (options_.Line.Trace) Trace(TraceLine(now, "out", channel, payload.data(), payload.size(), fault));
    if (fault != nullptr && fault[1] == 'd') return;
    if (!peerPresent_) return;  // nobody has the port open: the bytes fall off the line
    if (options_.Line.ReplyDelayMs > 0) {
        delayed_.push_back({now + int64_t(options_.Line.ReplyDelayMs) * 1000, std::move(bytes)});
        return;
    }
    Queue(std::move(bytes), now);
}

void TSimLine::Queue(std::vector<uint8_t> bytes, int64_t nowUs) {
    if (output_.size() + bytes.size() > OutputLimit) {
        if (options_.Line.Trace) Trace(NoteLine(nowUs, "output full, packet lost"));
        return;
    }
    if (output_.empty()) outClock_ = std::max(outClock_, double(nowUs));
    output_.insert(output_.end(), bytes.begin(), bytes.end());
}

void TSimLine::ReadInput(int64_t nowUs) {
    // One read per wake-up, so that input is handled as it comes instead of piling up.
    uint8_t buf[4096];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) {
        if (n < 0 && errno == EIO) peerPresent_ = false;  // the last opener has closed the port
        return;
    }
    peerPresent_ = true;
    if (byteUs_ <= 0) {
        controller_->Feed(buf, size_t(n), nowUs);
        return;
    }
    if (input_.size() + size_t(n) > InputLimit) {
        if (options_.Line.Trace)
            Trace(NoteLine(nowUs, "input overrun, " + std::to_string(n) + " bytes lost"));
        return;
    }
    for (ssize_t i = 0; i < n; ++i) {
        inClock_ = std::max(inClock_, double(nowUs)) + byteUs_;
        input_.push_back({int64_t(inClock_), buf[i]});
    }
}

void TSimLine::FeedDueInput(int64_t nowUs) {
    uint8_t batch[512];
    while (!input_.empty() && input_.front().AtUs <= nowUs) {
        size_t n = 0;
        while (n < sizeof batch && !input_.empty() && input_.front().AtUs <= nowUs) {
            batch[n++] = input_.front().Byte;
            input_.pop_front();
        }
        controller_->Feed(batch, n, nowUs);
    }
}

void TSimLine::WriteOutput(int64_t nowUs) {
    while (!delayed_.empty() && delayed_.front().AtUs <= nowUs) {
        Queue(std::move(delayed_.front().Bytes), nowUs);
        delayed_.pop_front();
    }
    if (!peerPresent_) {
        output_.clear();
        writeBlocked_ = false;
        return;
    }
    if (output_.empty()) return;
    size_t allowed = output_.size();
    if (byteUs_ > 0) {
        const double slots = (double(nowUs) - outClock_) / byteUs_;
        allowed = slots < 1 ? 0 : std::min(allowed, size_t(slots));
    }
    uint8_t buf[4096];
    while (allowed > 0) {
        const size_t n = std::min(allowed, sizeof buf);
        std::copy(output_.begin(), output_.begin() + std::ptrdiff_t(n), buf);
        const ssize_t written = ::write(master_, buf, n);
        writeBlocked_ = written <= 0;
        if (written <= 0) return;  // the terminal's buffer is full: the rest waits for POLLOUT
        output_.erase(output_.begin(), output_.begin() + written);
        if (byteUs_ > 0) outClock_ += double(written) * byteUs_;
        allowed -= size_t(written);
    }
}

int64_t TSimLine::NextWakeUs(int64_t nowUs) const {
    int64_t wake = controller_->NextDueUs();
    if (!delayed_.empty()) wake = std::min(wake, delayed_.front().AtUs);
    // Paced input is taken in batches of half a millisecond too, and the last byte on time.
    if (!input_.empty()) wake = std::min(wake, std::min(input_.back().AtUs, input_.front().AtUs + 500));
    if (!output_.empty() && byteUs_ > 0) {
        // Wake for a batch of at least half a millisecond, not for every byte.
        wake = std::min(wake, int64_t(outClock_ + std::max(byteUs_, 500.0)));
    }
    return std::max(wake, nowUs);
}

int TSimLine::Run() {
    std::string error;
    if (!Open(error)) {
        std::fprintf(stderr, "vek-sim: %s\n", error.c_str());
        return 1;
    }
    if (!link_.Create(SimPortFolder(), portName_, error)) {
        std::fprintf(stderr, "vek-sim: %s (the program will not list this port)\n", error.c_str());
    }
    if (pipe2(StopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "vek-sim: cannot make a pipe: %s\n", std::strerror(errno));
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::printf("%s\n", portName_.c_str());
    std::fflush(stdout);
    const int64_t start = MonotonicUs();
    if (options_.Line.Trace) {
        Trace(NoteLine(start,
                       "vek-sim serving " + portName_ + (link_.Path().empty() ? "" : " as " + link_.Path())));
    }
    const int64_t unplugAt =
        options_.Line.UnplugAfterS >= 0 ? start + int64_t(options_.Line.UnplugAfterS * 1e6) : INT64_MAX;

    int64_t hangupSince = -1;
    for (;;) {
        int64_t now = MonotonicUs();
        if (now >= unplugAt) {
            if (options_.Line.Trace) Trace(NoteLine(now, "unplugged"));
            ::close(master_);
            master_ = -1;
            link_.Remove();
            return 0;
        }
        controller_->Tick(now);
        FeedDueInput(now);
        WriteOutput(now);

        const int64_t wake = std::min(NextWakeUs(now), unplugAt);
        // While nobody has the port open the master reports a hang-up at once: look again later.
        const bool watchMaster = hangupSince < 0 || now - hangupSince >= HangupRetryUs;
        int64_t waitUs = wake == INT64_MAX ? 1'000'000 : wake - now;
        if (!watchMaster) waitUs = std::min(waitUs, HangupRetryUs - (now - hangupSince));
        pollfd fds[2] = {{StopPipe[0], POLLIN, 0}, {master_, 0, 0}};
        if (watchMaster) {
            fds[1].events = POLLIN;
            if (!output_.empty() && writeBlocked_) fds[1].events |= POLLOUT;
        }
        const timespec timeout{time_t(waitUs / 1'000'000), long(waitUs % 1'000'000) * 1000};
        const int ready = ppoll(fds, watchMaster ? 2 : 1, &timeout, nullptr);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "vek-sim: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (fds[0].revents & POLLIN) break;
        if (!watchMaster) continue;
        now = MonotonicUs();
        if (fds[1].revents & POLLIN) {
            hangupSince = -1;
            ReadInput(now);
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            peerPresent_ = false;
            hangupSince = now;
            input_.clear();
        } else {
            hangupSince = -1;
            peerPresent_ = true;  // the port is open on the other side
        }
    }
    if (options_.Line.Trace) Trace(NoteLine(MonotonicUs(), "stopped"));
    link_.Remove();
    return 0;
}

}  // namespace sim
