// The hand-over to the GUI thread: order, stop requests from every side, and no dead-lock.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "link/syncThread.h"
#include "support/qtWait.h"

namespace {

// Waits for a flag set by another thread, without running the Qt event loop.
bool WaitFor(const std::atomic<bool>& flag, int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
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

bool OnGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

TEST(SyncThread, HandOversRunOnTheGuiThreadInOrderAndAreWaitedFor) {
    std::vector<int> ranOnGui;
    std::atomic<bool> allOnGui{true}, done{false};
    int seenByWorker = -1;
    auto probe = std::make_shared<TProbe>([&](TProbe& self) {
        for (int i = 0; i < 500; ++i) {
            ASSERT_TRUE(self.Hand([&, i] {
                allOnGui = allOnGui && OnGuiThread();
                ranOnGui.push_back(i);
            }));
            // The hand-over has returned: its effect is visible to the worker at once.
            if (ranOnGui.back() != i) return;
            seenByWorker = i;
        }
        done = true;
    });
    probe->Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return done.load(); }, 30000));
    probe->Stop();
    EXPECT_TRUE(allOnGui);
    EXPECT_EQ(seenByWorker, 499);
    ASSERT_EQ(ranOnGui.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(ranOnGui[size_t(i)], i);
}

TEST(SyncThread, SynchronizeFromTheGuiThreadRunsAtOnce) {
    TProbe probe([](TProbe&) {});
    bool ran = false;
    EXPECT_TRUE(probe.Hand([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST(SyncThread, StopWhileAHandOverIsPendingAbandonsIt) {
    std::atomic<bool> asking{false}, returned{false}, result{true};
    std::atomic<int> ran{0};
    auto probe = std::make_shared<TProbe>([&](TProbe& self) {
        asking = true;
        result = self.Hand([&] { ++ran; });
        returned = true;
    });
    probe->Start();
    ASSERT_TRUE(WaitFor(asking));
    // Make sure the request is posted and the worker waits on it, then stop without serving events:
    // a Stop that waited for the hand-over would hang here.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    probe->Stop();
    EXPECT_TRUE(returned);
    EXPECT_FALSE(probe->Running());
    EXPECT_FALSE(result) << "an abandoned hand-over is reported to the worker";
    // The posted request is still in the event queue; it must not run late.
    ProcessEventsFor(50);
    EXPECT_EQ(ran.load(), 0);
}

TEST(SyncThread, StopFromInsideItsOwnHandOverDoesNotWait) {
    std::atomic<bool> afterHandOver{false}, result{false};
    std::shared_ptr<TProbe> probe;
    probe = std::make_shared<TProbe>([&](TProbe& self) {
        result = self.Hand([&] { probe->Stop(); });
        afterHandOver = true;
        // A stopped thread gets no further hand-overs.
        if (self.Hand([] {})) result = false;
    });
    probe->Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return afterHandOver.load() && !probe->Running(); }));
    EXPECT_TRUE(result) << "the hand-over that asked for the stop ran to its end";
    EXPECT_TRUE(probe->Terminated());
    probe->Stop();  // again, from outside: nothing left to wait for
}

TEST(SyncThread, SynchronizeReturnsFalseAfterTerminate) {
    std::atomic<bool> ready{false}, go{false}, finished{false};
    std::atomic<int> ran{0};
    std::atomic<bool> first{true}, second{true};
    auto probe = std::make_shared<TProbe>([&](TProbe& self) {
        ready = true;
        while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        first = self.Hand([&] { ++ran; });
        second = self.Hand([&] { ++ran; });
        finished = true;
    });
    probe->Start();
    ASSERT_TRUE(WaitFor(ready));
    probe->Terminate();
    go = true;
    ASSERT_TRUE(WaitFor(finished));
    ProcessEventsFor(20);
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_EQ(ran.load(), 0);
    probe->Stop();
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

TEST(SyncThread, OwnerLettingGoFirstKeepsTheThreadAlive) {
    std::atomic<bool> release{false}, finished{false};
    std::atomic<int> ran{0};
    std::weak_ptr<TProbe> weak;
    {
        auto probe = std::make_shared<TProbe>([&](TProbe& self) {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (self.Hand([&] { ++ran; })) finished = true;
        });
        weak = probe;
        probe->Start();
    }
    EXPECT_FALSE(weak.expired()) << "the running thread holds its object";
    release = true;
    ASSERT_TRUE(ProcessEventsUntil([&] { return finished.load() && weak.expired(); }));
    EXPECT_EQ(ran.load(), 1);
}

TEST(SyncThread, StoppingOneThreadFromAnotherThreadsHandOver) {
    // A reader's hand-over closes the port: it stops the writer, which at that moment waits for the
    // GUI thread itself, and then the reader.
    std::atomic<bool> writerAsking{false}, writerResult{true};
    auto writer = std::make_shared<TProbe>([&](TProbe& self) {
        writerAsking = true;
        writerResult = self.Hand([] {});
    });
    std::atomic<bool> readerDone{false}, writerWasAsking{false};
    auto reader = std::make_shared<TProbe>([&](TProbe& self) {
        self.Hand([&] {
            writer->Start();
            writerWasAsking = WaitFor(writerAsking);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            writer->Stop();
            self.Stop();
        });
        readerDone = true;
    });
    reader->Start();
    ASSERT_TRUE(ProcessEventsUntil([&] { return readerDone.load() && !reader->Running(); }));
    EXPECT_TRUE(writerWasAsking);
    EXPECT_FALSE(writer->Running());
    EXPECT_FALSE(writerResult);
}
