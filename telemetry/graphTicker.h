// The graph's repaint thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "link/syncThread.h"

class TFrameGraph;

// Hands the graph's Tick to the GUI thread when the graph asks for it (Arm), at most once per Interval
// ms. Between requests it sleeps without waking, so a hidden or unchanged graph costs nothing.
class ThreadTic : public TSyncThread {
public:
    ThreadTic(TFrameGraph* graph, int interval) : Graph(graph), Interval(interval) {}

    TFrameGraph* const Graph;
    const int Interval;

    void Arm();
    // A frame was drawn (by a hand-over or by the GUI thread itself): the next hand-over comes a whole
    // Interval after it.
    void NoteTick();
    // True once a whole Interval has passed since the last frame.
    bool IntervalPassed() const;
    // True while the thread sleeps with nothing asked of it: it hands nothing over before the next Arm.
    bool Idle() const;
    long long HandOvers() const { return handOvers_.load(); }

protected:
    void Execute() override;
    void WakeUp() override;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool armed_ = false;
    bool idle_ = false;
    std::atomic<long long> handOvers_{0};
    std::atomic<long long> lastTick_{0};  // of the last frame, in steady-clock ticks
};
