// A worker thread that hands work to the GUI thread synchronously, like a toolkit's Synchronize.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Every worker of the program (port reader and writer, graph repaint ticker, test-control pacing)
// derives from this class. Ownership: create it with std::make_shared and call Start(); the running
// thread holds a reference to itself, so the object lives until its Execute has returned even when
// the owner lets go first. Owners call Stop() when they are destroyed.
//
// Dead-lock rule: the GUI thread never waits for a worker that waits for it. Terminate() abandons a
// hand-over that has not started running yet (the worker's Synchronize returns false), and Stop()
// called from inside one of this thread's own hand-overs does not wait: the worker ends by itself as
// soon as the hand-over returns.
class TSyncThread : public std::enable_shared_from_this<TSyncThread> {
public:
    TSyncThread() = default;
    TSyncThread(const TSyncThread&) = delete;
    TSyncThread& operator=(const TSyncThread&) = delete;
    virtual ~TSyncThread();

    // Starts Execute on a new thread. The object must be owned by a std::shared_ptr.
    void Start();
    // Asks the thread to stop: abandons a hand-over not yet running, wakes SleepFor and calls WakeUp.
    void Terminate();
    // Terminate, then wait for the thread to end (unless called from the thread itself or from inside
    // one of its hand-overs, see above).
    void Stop();
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
    bool Running() const { return running_.load(std::memory_order_acquire); }

protected:
    virtual void Execute() = 0;
    // Lets a subclass interrupt a blocking call (poll, condition wait) when a stop is requested.
    virtual void WakeUp() {}

    // Runs fn on the GUI thread and waits until it has returned. Returns false, without running fn,
    // when a stop was requested before the GUI thread got to it. Called from the GUI thread itself,
    // it runs fn at once.
    bool Synchronize(std::function<void()> fn);
    // Sleeps for ms milliseconds; returns false early when a stop is requested.
    bool SleepFor(int ms);

private:
    struct THandOver;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::shared_ptr<THandOver> pending_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> inHandOver_{false};
};
