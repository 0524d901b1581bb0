#include "support/simProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

namespace {
using Clock = std::chrono::steady_clock;

#ifdef VEK_SIM_PATH
constexpr const char* SimPath = VEK_SIM_PATH;
#else
constexpr const char* SimPath = "vek-sim";
#endif

// Checks `done` every 5 ms until it holds or the time is up.
bool PollUntil(int timeoutMs, const std::function<bool()>& done) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
}  // namespace

TSimProcess::TSimProcess(const std::vector<std::string>& args, bool captureStderr, int startTimeoutMs) {
    int out[2], err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || (captureStderr && pipe2(err, O_CLOEXEC) != 0)) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return;
    }
    // Everything the child needs is prepared before fork: after it only async-signal-safe calls.
    std::vector<std::string> all{SimPath};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
        if (getppid() != parent) _exit(127);
        dup2(out[1], STDOUT_FILENO);
        if (captureStderr) dup2(err[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (captureStderr) {
        close(err[1]);
        // The simulator's end of the pipe closes when it ends, which ends the reader.
        if (pid_ > 0)
            stderrThread_ = std::thread([this, fd = err[0]] { ReadStderr(fd); });
        else
            close(err[0]);
    }
    if (pid_ < 0) error_ = std::string("fork: ") + std::strerror(errno);

    // The first line of stdout is the port's path.
    const auto deadline = Clock::now() + std::chrono::milliseconds(startTimeoutMs);
    for (std::string line; pid_ > 0;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{out[0], POLLIN, 0};
        char c;
        if (left.count() <= 0) {
            error_ = "vek-sim printed no port within " + std::to_string(startTimeoutMs) + " ms";
        } else if (poll(&p, 1, int(left.count())) <= 0) {
            continue;
        } else if (read(out[0], &c, 1) <= 0) {
            error_ = "vek-sim ended before printing its port (is " + std::string(SimPath) + " built?)";
        } else if (c != '\n') {
            line += c;
            continue;
        } else {
            portName_ = line;
        }
        break;
    }
    close(out[0]);  // the simulator writes nothing more to stdout
}

TSimProcess::~TSimProcess() {
    Stop();
    if (stderrThread_.joinable()) stderrThread_.join();
}

void TSimProcess::ReadStderr(int fd) {
    char buf[4096];
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR);) {
        std::lock_guard<std::mutex> lock(mutex_);
        stderr_.append(buf, size_t(std::max<ssize_t>(n, 0)));
    }
    close(fd);
}

std::string TSimProcess::Stderr() const {
    return StderrFrom(0);
}

std::string TSimProcess::StderrFrom(size_t offset) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offset < stderr_.size() ? stderr_.substr(offset) : std::string();
}

bool TSimProcess::WaitForStderr(const std::string& text, int timeoutMs) const {
    return PollUntil(timeoutMs, [&] { return Stderr().find(text) != std::string::npos; });
}

bool TSimProcess::WaitExited(int timeoutMs, int* status) {
    if (pid_ <= 0) return false;
    const bool ended = PollUntil(timeoutMs, [&] {
        const pid_t r = reaped_ ? pid_ : waitpid(pid_, &exitStatus_, WNOHANG);
        return reaped_ = r == pid_ || (r < 0 && errno == ECHILD);
    });
    if (ended && status != nullptr) *status = exitStatus_;
    return ended;
}

void TSimProcess::Stop(int timeoutMs) {
    if (pid_ <= 0 || reaped_) return;
    kill(pid_, SIGTERM);
    if (!WaitExited(timeoutMs)) kill(pid_, SIGKILL), WaitExited(timeoutMs);
}
