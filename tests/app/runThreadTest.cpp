// The pacing of the test control: the grid arithmetic with a simulated clock, then the real thread
// handing its work to the GUI thread and stopping cleanly.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <vector>

#include "app/runThread.h"
#include "support/qtWait.h"

namespace {

struct TSimulatedRun {
    int64_t lateBy = 0;       // every wake-up comes this many ms after the grid point
    int64_t tickCost = 0;     // ms the GUI thread spends in each tick
    int64_t slowTickAt = -1;  // index of one tick that takes 200 ms
    int32_t newInterval = 0;  // returned by every reading of the interval (0: keep 50)
};

// Runs the pacer against a simulated clock until `until` ms; returns the times of the ticks.
std::vector<int64_t> Simulate(const TSimulatedRun& run, int64_t until,
                              std::vector<int64_t>* readings = nullptr) {
    TRunPacer pacer;
    int64_t now = 1'000'000'000'000;  // far from zero, as after a long uptime
    const int64_t origin = now;
    pacer.Start(now);
    std::vector<int64_t> ticks;
    while (now - origin < until) {
        const int64_t wait = pacer.NextWait(now);
        if (wait > 0) now += wait + run.lateBy;
        if (pacer.CountSleep()) {
            if (readings) readings->push_back(now - origin);
            if (run.newInterval) pacer.SetPeriod(run.newInterval);
        }
        if (pacer.TickDue()) {
            ticks.push_back(now - origin);
            now += (int64_t(ticks.size()) - 1 == run.slowTickAt) ? 200 : run.tickCost;
        }
    }
    return ticks;
}

std::vector<int64_t> Spacing(const std::vector<int64_t>& ticks) {
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < ticks.size(); ++i) gaps.push_back(ticks[i] - ticks[i - 1]);
    return gaps;
}

}  // namespace

TEST(RunPacer, TicksOnTheGridOneIntervalApartWithoutQueueing) {
    const struct {
        const char* name;
        TSimulatedRun run;
    } steady[] = {{"exact wake-ups", {}},
                  {"late wake-ups do not add up", {3, 0, -1, 0}},
                  {"a tick routine taking 4 ms", {0, 4, -1, 0}},
                  {"late and slow together", {2, 5, -1, 0}}};
    for (const auto& c : steady) {
        const std::vector<int64_t> ticks = Simulate(c.run, 900);
        ASSERT_GE(ticks.size(), 17u) << c.name;
        EXPECT_EQ(ticks.front(), 50 + c.run.lateBy) << c.name;
        for (int64_t gap : Spacing(ticks)) EXPECT_EQ(gap, 50) << c.name;
    }
    // A tick that returns 200 ms late: one tick at the next grid point, then the normal pace.
    EXPECT_EQ(Simulate({0, 0, 2, 0}, 600),
              (std::vector<int64_t>{50, 100, 150, 350, 400, 450, 500, 550, 600}));
    // The interval is read every hundred sleeps; below the grid it is one tick a sleep at most.
    std::vector<int64_t> readings;
    const std::vector<int64_t> ticks = Simulate({0, 0, -1, 1000}, 3500, &readings);
    EXPECT_EQ(readings, (std::vector<int64_t>{1000, 2000, 3000}));
    ASSERT_GE(ticks.size(), 22u);
    EXPECT_EQ(std::vector<int64_t>(ticks.begin() + 19, ticks.begin() + 22),
              (std::vector<int64_t>{1000, 2000, 3000}));
    const std::vector<int64_t> fast = Simulate({0, 0, -1, 3}, 1200);
    EXPECT_EQ(fast.back() - fast[fast.size() - 2], 10);
}

TEST(RunThread, TicksRunOnTheGuiThreadAndStopCleanlyAndGoWithTheirOwner) {
    auto thread = std::make_shared<TRunThread>();
    std::atomic<int> ticks{0}, readings{0};
    bool offGuiThread = false;
    thread->ReadInterval = [&]() {
        offGuiThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        ++readings;
        return 10;
    };
    thread->OnTick = [&]() {
        offGuiThread |= QThread::currentThread() != QCoreApplication::instance()->thread();
        ++ticks;
    };
    thread->Start();
    // The interval is read on the hundredth sleep, and the period follows once the hand-over returned.
    EXPECT_TRUE(ProcessEventsUntil([&] { return thread->Period() == 10 && ticks >= 5; }, 20000));
    EXPECT_GE(readings, 1);
    EXPECT_FALSE(offGuiThread);
    EXPECT_NE(thread->Priority(), TRunThread::PriorityPending);  // asked, whatever the answer

    // With RUN up it sleeps until ticks are wanted again; then it reads the interval before ticking.
    thread->WantTicks(false);
    EXPECT_TRUE(ProcessEventsUntil([&] { return thread->Idle(); }, 20000));
    const int64_t loops = thread->LoopCount();
    const int ticksBefore = ticks, readingsBefore = readings;
    thread->WantTicks(true);
    EXPECT_TRUE(ProcessEventsUntil([&] { return ticks > ticksBefore; }, 20000));
    EXPECT_GT(readings, readingsBefore);
    EXPECT_GT(thread->LoopCount(), loops);
    thread->WantTicks(false);  // and a stop ends an idle thread too
    EXPECT_TRUE(ProcessEventsUntil([&] { return thread->Idle(); }, 20000));

    // The GUI thread does not serve hand-overs while it stops the thread: Stop must not wait for one.
    const auto before = std::chrono::steady_clock::now();
    thread->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_FALSE(thread->Running());
    const std::weak_ptr<TRunThread> weak = thread;
    thread.reset();
    EXPECT_TRUE(weak.expired()) << "the stopped thread holds no reference to itself";
}
