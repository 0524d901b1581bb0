// The port object over a pseudo-terminal: round trip of a Ping to an echoing peer and back to the GUI
// thread, and the CPU an open port with no traffic uses. Prints figures; not a Google Benchmark
// because the round trip needs the Qt event loop on the main thread.
//
// Usage: bench_comRW [PINGS [IDLE_SECONDS]]   (defaults: 10000 pings, 10 seconds)
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "link/treadRW.h"
#include "link/zuq.h"

namespace {

using Clock = std::chrono::steady_clock;

// A controller stand-in on the master side of a pty: answers every Ping with an Echo on channel 0x04.
class TEchoPeer {
public:
    TEchoPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master_);
        unlockpt(master_);
        char name[256] = {};
        ptsname_r(master_, name, sizeof name);
        slave_ = name;
        termios tio{};
        tcgetattr(master_, &tio);
        cfmakeraw(&tio);
        tcsetattr(master_, TCSANOW, &tio);
        if (::pipe2(stop_, O_CLOEXEC) != 0) std::abort();
        thread_ = std::thread([this] { Run(); });
    }
    ~TEchoPeer() {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
        ::close(master_);
    }
    const std::string& SlaveName() const { return slave_; }

private:
    void Run() {
        zuq::TCollectorZUQ collector;
        zuq::TPacket in, echo;
        const uint8_t reply[] = {zuq::Cmd::Echo};
        zuq::BuildPacket(echo, zuq::ChannelReply, reply, sizeof reply);
        uint8_t buffer[512];
        for (;;) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) continue;
            if (fds[1].revents) return;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i)
                if (collector.Collect(in, buffer[i]) && in.Payload()[0] == zuq::Cmd::Ping)
                    (void)!::write(master_, echo.Bytes, zuq::PacketSize(echo));
        }
    }

    int master_ = -1;
    int stop_[2] = {-1, -1};
    std::string slave_;
    std::thread thread_;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(const std::vector<double>& sorted, double p) {
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int pings = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    TEchoPeer peer;
    TComRW com;
    com.PortName = peer.SlaveName();
    bool answered = false;
    Clock::time_point arrived;
    com.OnPacket = [&](const uint8_t* payload, uint8_t length, uint8_t channel) {
        if (length >= 1 && payload[0] == zuq::Cmd::Echo && channel == zuq::ChannelReply) {
            arrived = Clock::now();
            answered = true;
        }
    };
    com.SetActive(true);
    if (!com.Active()) {
        std::fprintf(stderr, "cannot open %s: %s\n", peer.SlaveName().c_str(), com.LastError().c_str());
        return 1;
    }

    // Round trip: queue a Ping on the GUI thread, wait in the event loop until its Echo is handed over.
    std::vector<double> micros;
    micros.reserve(size_t(pings));
    int lost = 0;
    for (int i = -200; i < pings; ++i) {  // the first 200 warm up
        answered = false;
        const Clock::time_point sent = Clock::now();
        com.SendCommand(zuq::ChannelApp, zuq::Cmd::Ping);
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(1000);
        while (!answered && timeout.isActive()) loop.processEvents(QEventLoop::WaitForMoreEvents);
        if (!answered) {
            ++lost;
            continue;
        }
        if (i >= 0) micros.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
    }
    std::sort(micros.begin(), micros.end());
    if (micros.empty()) {
        std::fprintf(stderr, "no Echo came back\n");
        return 1;
    }
    double sum = 0;
    for (double m : micros) sum += m;
    std::printf(
        "ping round trip over %zu pings (%d unanswered): median %.1f us, p99 %.1f us, mean %.1f us, "
        "min %.1f us, max %.1f us\n",
        micros.size(), lost, Percentile(micros, 0.5), Percentile(micros, 0.99), sum / double(micros.size()),
        micros.front(), micros.back());

    // Idle: the port stays open, nothing moves, the event loop waits.
    const double cpuBefore = CpuSeconds();
    const Clock::time_point wallBefore = Clock::now();
    QTimer::singleShot(idleSeconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = CpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    std::printf("idle open port for %.1f s: %.4f s CPU, %.3f%% of one core\n", wall, cpu, 100.0 * cpu / wall);
    com.SetActive(false);
    return 0;
}
