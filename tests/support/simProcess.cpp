#include "support/simProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {
using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

#ifdef VEK_SIM_PATH
constexpr const char* SimPath = VEK_SIM_PATH;
#else
constexpr const char* SimPath = "vek-sim";
#endif
}  // namespace

TSimProcess::TSimProcess(const std::vector<std::string>& args, bool captureStderr, int startTimeoutMs) {
    int out[2];
    int err[2] = {-1, -1};
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
    if (pid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        return;
    }
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
        if (pipe2(stderrStopFd_, O_CLOEXEC) == 0) {
            stderrThread_ = std::thread([this, fd = err[0]] { ReadStderr(fd); });
        } else {
            close(err[0]);
        }
    }

    // The first line of stdout is the port's path.
    const auto deadline = Clock::now() + std::chrono::milliseconds(startTimeoutMs);
    std::string line;
    for (;;) {
        pollfd p{out[0], POLLIN, 0};
        const int left = MsLeft(deadline);
        if (left == 0) {
            error_ = "vek-sim printed no port within " + std::to_string(startTimeoutMs) + " ms";
            break;
        }
        if (poll(&p, 1, left) <= 0) continue;
        char c;
        const ssize_t n = read(out[0], &c, 1);
        if (n <= 0) {
            error_ = "vek-sim ended before printing its port (is " + std::string(SimPath) + " built?)";
            break;
        }
        if (c == '\n') {
            portName_ = line;
            break;
        }
        line += c;
    }
    close(out[0]);  // the simulator writes nothing more to stdout
}

TSimProcess::~TSimProcess() {
    Stop();
    if (stderrThread_.joinable()) {
        const char b = 1;
        if (write(stderrStopFd_[1], &b, 1) < 0) {
        }
        stderrThread_.join();
    }
    for (int fd : stderrStopFd_) {
        if (fd >= 0) close(fd);
    }
}

void TSimProcess::ReadStderr(int fd) {
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {stderrStopFd_[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) break;
        if (p[0].revents & (POLLIN | POLLHUP)) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) break;
            std::lock_guard<std::mutex> lock(mutex_);
            stderr_.append(buf, size_t(n));
            continue;
        }
        if (p[1].revents & POLLIN) break;
    }
    close(fd);
}

std::string TSimProcess::Stderr() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stderr_;
}

std::string TSimProcess::StderrFrom(size_t offset) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offset < stderr_.size() ? stderr_.substr(offset) : std::string();
}

bool TSimProcess::WaitForStderr(const std::string& text, int timeoutMs) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Stderr().find(text) != std::string::npos) return true;
        if (MsLeft(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool TSimProcess::WaitExited(int timeoutMs, int* status) {
    if (pid_ <= 0) return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped_) {
        const pid_t r = waitpid(pid_, &exitStatus_, WNOHANG);
        if (r == pid_ || (r < 0 && errno == ECHILD)) {
            reaped_ = true;
            break;
        }
        if (MsLeft(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (status != nullptr) *status = exitStatus_;
    return true;
}

void TSimProcess::Stop(int timeoutMs) {
    if (pid_ <= 0 || reaped_) return;
    kill(pid_, SIGTERM);
    if (!WaitExited(timeoutMs)) {
        kill(pid_, SIGKILL);
        WaitExited(timeoutMs);
    }
}
