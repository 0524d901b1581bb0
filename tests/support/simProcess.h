// Runs the built vek-sim for a test: starts it with the given options, reads the path of its port from
// the first line of its output, and stops it (SIGTERM, then SIGKILL) when the object goes away. The
// simulator is also killed if the thread that started it ends first, so a crashed test leaves none.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TSimProcess {
public:
    // captureStderr keeps what the simulator writes to stderr (its --trace lines) for Stderr();
    // otherwise it goes to the test's own stderr.
    explicit TSimProcess(const std::vector<std::string>& args = {}, bool captureStderr = false,
                         int startTimeoutMs = 10000);
    ~TSimProcess();
    TSimProcess(const TSimProcess&) = delete;
    TSimProcess& operator=(const TSimProcess&) = delete;

    // True once the simulator has printed its port; Error() says why not.
    bool Started() const { return !portName_.empty(); }
    const std::string& PortName() const { return portName_; }
    const std::string& Error() const { return error_; }

    // Everything captured from stderr so far.
    std::string Stderr() const;
    // What was captured from byte `offset` on (for readers that follow the trace as it grows).
    std::string StderrFrom(size_t offset) const;
    // Waits until the captured stderr contains text.
    bool WaitForStderr(const std::string& text, int timeoutMs) const;
    // Waits for the simulator to end by itself (e.g. --unplug-after); its exit status in *status.
    bool WaitExited(int timeoutMs, int* status = nullptr);
    // SIGTERM, then SIGKILL when it has not ended within timeoutMs. Safe to call twice.
    void Stop(int timeoutMs = 3000);

private:
    void ReadStderr(int fd);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = 0;
    std::string portName_;
    std::string error_;
    mutable std::mutex mutex_;
    std::string stderr_;
    std::thread stderrThread_;
};
