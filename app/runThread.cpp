#include "app/runThread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>

int64_t MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void TRunPacer::Start(int64_t now) {
    Period = 50;
    LoopCount = 0;
    Origin = now;
    GridIndex = 0;
    Due = now + Period;
}

int64_t TRunPacer::NextWait(int64_t now) {
    const int64_t next = Origin + (GridIndex + 1) * GridMs;
    if (next <= now) {
        GridIndex = (now - Origin) / GridMs;
        return 0;
    }
    ++GridIndex;
    return next - now;
}

bool TRunPacer::CountSleep() {
    ++LoopCount;
    return LoopCount % IntervalEvery == 0;
}

void TRunPacer::SetPeriod(int32_t period) {
    Period = period < GridMs ? GridMs : period;
}

bool TRunPacer::TickDue() {
    const int64_t now = GridTime();
    if (now < Due) return false;
    Due = now + Period;
    return true;
}

void TRunThread::RaisePriority() {
    // Real-time scheduling needs a privilege most desktop sessions lack; a lower nice value is the
    // next best thing. Without either the thread simply runs at normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
        priority_ = PriorityRealtime;
        return;
    }
    if (setpriority(PRIO_PROCESS, id_t(gettid()), -10) == 0) {
        priority_ = PriorityNice;
        return;
    }
    priority_ = PriorityNormal;
}

void TRunThread::WantTicks(bool wanted) {
    {
        std::lock_guard<std::mutex> lock(wantMutex_);
        wanted_ = wanted;
    }
    wantCv_.notify_all();
}

void TRunThread::WakeUp() {
    { std::lock_guard<std::mutex> lock(wantMutex_); }
    wantCv_.notify_all();
}

void TRunThread::Execute() {
    RaisePriority();
    TRunPacer pacer;
    pacer.Start(MonotonicMs());
    while (!Terminated()) {
        bool resumed = false;
        {
            std::unique_lock<std::mutex> lock(wantMutex_);
            if (!wanted_) {
                idle_ = true;
                wantCv_.wait(lock, [this] { return wanted_ || Terminated(); });
                idle_ = false;
                resumed = true;
            }
        }
        if (Terminated()) break;
        if (resumed) {
            // The grid starts again now; the tick is due at its first point, as it was when idling began.
            pacer.Origin = MonotonicMs();
            pacer.GridIndex = 0;
        }
        const int64_t wait = pacer.NextWait(MonotonicMs());
        if (wait > 0 && !SleepFor(int(wait))) break;
        const bool readInterval = pacer.CountSleep() || resumed;
        loopCount_ = pacer.LoopCount;
        if (readInterval) {
            int32_t interval = pacer.Period;
            if (!Synchronize([this, &interval]() {
                    if (ReadInterval) interval = ReadInterval();
                }))
                break;
            pacer.SetPeriod(interval);
            period_ = pacer.Period;
        }
        if (pacer.TickDue() && wanted_.load() && !Synchronize([this]() {
                if (OnTick) OnTick();
            }))
            break;
    }
}
