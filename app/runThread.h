// The pacing thread of the test control: sleeps on a 10 ms grid and runs the throttle tick on the GUI
// thread whenever the interval has passed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "link/syncThread.h"

// Milliseconds of the system's monotonic clock; 64 bits, so it never wraps.
int64_t MonotonicMs();

// The pacing arithmetic on its own, driven by the clock readings it is given.
// Sleeps end on the points of a 10 ms grid counted from the start, so late wake-ups do not add up;
// a tick is due on the first grid point at or after Due, and the next Due is that point plus the
// period, so ticks never queue up behind a busy GUI thread.
struct TRunPacer {
    static constexpr int GridMs = 10;
    static constexpr int IntervalEvery = 100;  // sleeps between two readings of the interval

    int32_t Period = 50;
    int64_t LoopCount = 0;
    int64_t Origin = 0;
    int64_t GridIndex = 0;
    int64_t Due = 0;

    void Start(int64_t now);
    // Milliseconds to sleep until the next grid point; 0 when the thread is already late, in which
    // case the latest grid point passed is taken as the current one.
    int64_t NextWait(int64_t now);
    // Counts one sleep; true when the interval is to be read now.
    bool CountSleep();
    // Takes a newly read interval (at least one grid step).
    void SetPeriod(int32_t period);
    // True when the tick is due at the current grid point; then sets the next due time.
    bool TickDue();
    int64_t GridTime() const { return Origin + GridIndex * GridMs; }
};

class TRunThread : public TSyncThread {
public:
    // Both run on the GUI thread, synchronously; set them before Start().
    std::function<int32_t()> ReadInterval;  // the interval in ms (the window's RunInterval)
    std::function<void()> OnTick;           // the tick routine
    // Cleared by the GUI thread while a tick would have nothing to do (RUN is up): the thread then
    // sleeps without waking until ticks are wanted again, and takes up its grid from that moment,
    // reading the interval first.
    void WantTicks(bool wanted);
    // True while the thread sleeps because no ticks are wanted.
    bool Idle() const { return idle_.load(); }

    // What the system granted when the thread asked for a high priority.
    enum TPriority { PriorityPending, PriorityNormal, PriorityNice, PriorityRealtime };
    TPriority Priority() const { return priority_.load(); }
    int32_t Period() const { return period_.load(); }
    int64_t LoopCount() const { return loopCount_.load(); }

protected:
    void Execute() override;
    void WakeUp() override;

private:
    void RaisePriority();

    std::atomic<TPriority> priority_{PriorityPending};
    std::atomic<int32_t> period_{50};
    std::atomic<int64_t> loopCount_{0};
    std::mutex wantMutex_;
    std::condition_variable wantCv_;
    std::atomic<bool> wanted_{true};  // set under wantMutex_, so that a waiting thread sees it
    std::atomic<bool> idle_{false};
};
