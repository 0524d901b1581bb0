// The reply time-out. Cancelling, and starting again from the expiry, are what the configuration
// transfers do on every reply and every retry; their tests cover those.
#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>

#include "link/Waiter.h"
#include "support/qtWait.h"

TEST(Waiter, ExpiresOnceAfterItsTicksWithTheMessageBeforeTheCallback) {
    QStringList log;
    TWaiter waiter([&](const QString& line) { log << line; });
    for (int n : {20, 1, 0, -5}) {
        log.clear();
        int perTick = 0, expired = 0;
        ASSERT_TRUE(waiter.Start(
            n, "failed!", [&] { ++perTick; }, [&] { expired += log.size() == 1; }));
        EXPECT_FALSE(waiter.Start(3, "second")) << "refused while waiting";
        for (int i = 1; i < std::max(n, 1); ++i) waiter.Tick();
        EXPECT_TRUE(log.isEmpty()) << n;
        for (int i = 0; i < 5; ++i) waiter.Tick();  // idle ticks after the expiry do nothing more
        EXPECT_EQ(log, QStringList{"failed!"}) << n;
        EXPECT_EQ(std::make_pair(expired, perTick), std::make_pair(1, std::max(n, 1))) << n;
        EXPECT_FALSE(waiter.TimerRunning());
    }
    waiter.Start(3, "never");
    waiter.Cancel();
    waiter.Tick();
    EXPECT_FALSE(waiter.TimerRunning()) << "a cancelled wait ends at the next tick";
    waiter.Start(3, "timed out");  // the real timer
    ASSERT_TRUE(ProcessEventsUntil([&] { return log.size() == 2; }, 3000));
    EXPECT_EQ(log.last(), "timed out");
}
