// A stop wakes the thread's sleep. Hand-overs (order, delivery on the GUI thread, a stop abandoning a
// pending one without waiting for it) are proven through the port's reader in comRWTest.cpp and the
// pacing thread in runThreadTest.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "link/syncThread.h"
#include "support/qtWait.h"

namespace {
// Sleeps ten minutes on its own thread, unless stopped.
struct TSleeper : TSyncThread {
    std::atomic<bool> sleeping{false}, slept{true};
    void Execute() override {
        sleeping = true;
        slept = SleepFor(600000);
    }
};
}  // namespace

TEST(SyncThread, StopWakesALongSleep) {
    auto sleeper = std::make_shared<TSleeper>();
    sleeper->Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return sleeper->sleeping.load(); }, 10000));
    sleeper->Stop();  // without the wake-up this takes ten minutes and ctest's time-out fails it
    EXPECT_FALSE(sleeper->slept);
}
