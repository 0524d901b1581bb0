#include <gtest/gtest.h>

#include <QStringList>

#include "link/Waiter.h"
#include "support/qtWait.h"

namespace {
struct TWaiterProbe {
    QStringList log;
    int expired = 0;
    int ticks = 0;
    TWaiter waiter{[this](const QString& line) { log << line; }};
};
}  // namespace

TEST(Waiter, ExpiresOnceAfterItsTicksWithMessageThenCallback) {
    TWaiterProbe p;
    ASSERT_TRUE(p.waiter.Start(
        20, "CONFIG downloading failed!", [&] { ++p.ticks; },
        [&] {
            // The message is logged before the callback runs.
            EXPECT_EQ(p.log.size(), 1);
            ++p.expired;
        }));
    for (int i = 0; i < 19; ++i) p.waiter.Tick();
    EXPECT_TRUE(p.log.isEmpty());
    EXPECT_EQ(p.expired, 0);
    p.waiter.Tick();
    EXPECT_EQ(p.log, QStringList{"CONFIG downloading failed!"});
    EXPECT_EQ(p.expired, 1);
    EXPECT_EQ(p.ticks, 20);
    EXPECT_FALSE(p.waiter.TimerRunning());
    p.waiter.Tick();  // idle ticks neither log nor call anything again
    EXPECT_EQ(p.log.size(), 1);
    EXPECT_EQ(p.expired, 1);
    EXPECT_EQ(p.ticks, 20);
}

TEST(Waiter, ZeroAndNegativeTicksExpireAtFirstTick) {
    for (int ticks : {0, -5}) {
        TWaiterProbe p;
        p.waiter.Start(ticks, "late", {}, [&] { ++p.expired; });
        p.waiter.Tick();
        EXPECT_EQ(p.log, QStringList{"late"}) << ticks;
        EXPECT_EQ(p.expired, 1) << ticks;
    }
}

TEST(Waiter, CancelIsSilentAndStopsTimerAtNextTick) {
    TWaiterProbe p;
    p.waiter.Start(3, "never", {}, [&] { ++p.expired; });
    p.waiter.Cancel();
    EXPECT_TRUE(p.waiter.TimerRunning());
    p.waiter.Tick();
    EXPECT_FALSE(p.waiter.TimerRunning());
    for (int i = 0; i < 5; ++i) p.waiter.Tick();
    EXPECT_TRUE(p.log.isEmpty());
    EXPECT_EQ(p.expired, 0);
}

TEST(Waiter, StartAfterCancelBeforeTickContinuesWithNewArguments) {
    TWaiterProbe p;
    p.waiter.Start(5, "first", {}, [&] { p.expired += 100; });
    p.waiter.Cancel();
    ASSERT_TRUE(p.waiter.Start(2, "second", {}, [&] { ++p.expired; }));
    p.waiter.Tick();
    p.waiter.Tick();
    EXPECT_EQ(p.log, QStringList{"second"});
    EXPECT_EQ(p.expired, 1);
}

TEST(Waiter, SecondStartDuringWaitIsRefusedAndKeepsFirst) {
    TWaiterProbe p;
    ASSERT_TRUE(p.waiter.Start(2, "first"));
    EXPECT_FALSE(p.waiter.Start(10, "second"));
    p.waiter.Tick();
    p.waiter.Tick();
    EXPECT_EQ(p.log, QStringList{"first"});
}

TEST(Waiter, RestartFromExpiryKeepsRunning) {
    TWaiterProbe p;
    int rounds = 0;
    std::function<void()> again = [&] {
        if (++rounds < 3) p.waiter.Start(2, QString("round %1").arg(rounds), {}, again);
    };
    p.waiter.Start(2, "round 0", {}, again);
    for (int i = 0; i < 10; ++i) p.waiter.Tick();
    EXPECT_EQ(p.log, (QStringList{"round 0", "round 1", "round 2"}));
    EXPECT_EQ(rounds, 3);
    EXPECT_FALSE(p.waiter.TimerRunning());
}

TEST(Waiter, RealTimerExpiresAfterAboutItsTicks) {
    TWaiterProbe p;
    p.waiter.Start(3, "timed out", {}, [&] { ++p.expired; });
    ASSERT_TRUE(ProcessEventsUntil([&] { return p.expired > 0; }, 3000));
    EXPECT_EQ(p.log, QStringList{"timed out"});
}
