// The hand-over to the GUI thread: stop requests from every side, and no dead-lock. Order and delivery
// through the port's reader are proven in comRWTest.cpp.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "link/syncThread.h"
#include "support/qtWait.h"

namespace {

// Waits for a flag set by another thread, without running the Qt event loop.
bool WaitFor(const std::atomic<bool>& flag) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!flag.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return flag.load();
}

// Runs a routine on its own thread; the routine gets the thread to call Synchronize and SleepFor.
class TProbe : public TSyncThread {
public:
    using TBody = std::function<void(TProbe&)>;
    explicit TProbe(TBody body) : body_(std::move(body)) {}
    bool Hand(std::function<void()> fn) { return Synchronize(std::move(fn)); }
    bool Sleep(int ms) { return SleepFor(ms); }

protected:
    void Execute() override { body_(*this); }

private:
    TBody body_;
};

}  // namespace

TEST(SyncThread, StopWhileAHandOverIsPendingAbandonsIt) {
    std::atomic<bool> asking{false}, returned{false}, result{true};
    std::atomic<int> ran{0};
    auto probe = std::make_shared<TProbe>([&](TProbe& self) {
        asking = true;
        const bool first = self.Hand([&] { ++ran; });
        result = self.Hand([&] { ++ran; }) || first;  // none after a stop request either
        returned = true;
    });
    probe->Start();
    ASSERT_TRUE(WaitFor(asking));
    // Let the worker post its request, then stop without serving events: a Stop that waited for the
    // hand-over would hang here.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe->Stop();
    EXPECT_TRUE(returned && !result) << "an abandoned hand-over is reported to the worker";
    QCoreApplication::sendPostedEvents();  // the posted request runs now, and must do nothing
    EXPECT_EQ(ran.load(), 0);
}

TEST(SyncThread, StopWakesALongSleep) {
    std::atomic<bool> sleeping{false}, slept{true};
    auto probe = std::make_shared<TProbe>([&](TProbe& self) {
        sleeping = true;
        slept = self.Sleep(600000);
    });
    probe->Start();
    ASSERT_TRUE(WaitFor(sleeping));
    probe->Stop();  // without the wake-up this takes ten minutes and ctest's time-out fails it
    EXPECT_FALSE(slept);
}
