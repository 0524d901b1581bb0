#include "telemetry/graphTicker.h"

#include <algorithm>
#include <chrono>

#include "telemetry/fGraph.h"

void ThreadTic::Arm() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = true;
    }
    cv_.notify_one();
}

void ThreadTic::NoteTick() {
    lastTick_ = std::chrono::steady_clock::now().time_since_epoch().count();
}

bool ThreadTic::IntervalPassed() const {
    const std::chrono::steady_clock::duration since{
        std::chrono::steady_clock::now().time_since_epoch().count() - lastTick_.load()};
    return since >= std::chrono::milliseconds(Interval);
}

bool ThreadTic::Idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_ && !armed_;
}

void ThreadTic::WakeUp() {
    { std::lock_guard<std::mutex> lock(mutex_); }
    cv_.notify_all();
}

void ThreadTic::Execute() {
    TFrameGraph* graph = Graph;
    auto next = std::chrono::steady_clock::now();
    while (!Terminated()) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            idle_ = true;
            cv_.wait(lock, [&] { return armed_ || Terminated(); });
            idle_ = false;
            // Never more than one repaint per interval; a request that comes later costs no extra wake-up.
            const std::chrono::steady_clock::time_point drawn{
                std::chrono::steady_clock::duration(lastTick_.load())};
            next = std::max(next, drawn + std::chrono::milliseconds(Interval));
            if (std::chrono::steady_clock::now() < next)
                cv_.wait_until(lock, next, [&] { return Terminated(); });
            armed_ = false;
        }
        if (Terminated()) break;
        ++handOvers_;
        if (!Synchronize([graph]() { graph->Tick(); })) break;
        next = std::chrono::steady_clock::now() + std::chrono::milliseconds(Interval);
    }
}
