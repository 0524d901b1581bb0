#include "link/syncThread.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace {
std::mutex& PostingLock() {
    static std::mutex lock;
    return lock;
}
}  // namespace

struct TSyncThread::THandOver {
    std::function<void()> fn;
    bool running = false;
    bool done = false;
    bool abandoned = false;
};

TSyncThread::~TSyncThread() {
    terminated_ = true;
    if (thread_.joinable()) {
        // The last reference may be dropped by the thread itself as Execute returns.
        if (thread_.get_id() == std::this_thread::get_id())
            thread_.detach();
        else
            thread_.join();
    }
}

void TSyncThread::Start() {
    if (thread_.joinable()) return;
    running_ = true;
    std::shared_ptr<TSyncThread> self = shared_from_this();
    thread_ = std::thread([self]() {
        self->Execute();
        self->running_ = false;
    });
}

void TSyncThread::Terminate() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        terminated_ = true;
        if (pending_ && !pending_->running) pending_->abandoned = true;
    }
    cv_.notify_all();
    WakeUp();
}

void TSyncThread::Stop() {
    Terminate();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id() || inHandOver_.load()) {
        // The thread waits for us (or is us): it ends on its own once the hand-over returns.
        thread_.detach();
        return;
    }
    thread_.join();
}

bool TSyncThread::Synchronize(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return false;
    if (QThread::currentThread() == app->thread()) {
        fn();
        return true;
    }
    auto handOver = std::make_shared<THandOver>();
    handOver->fn = std::move(fn);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (terminated_) return false;
        pending_ = handOver;
    }
    std::weak_ptr<TSyncThread> weakSelf = weak_from_this();
    // Qt's event queue is guarded by locks a thread checker cannot see; this one makes it plain that
    // the posted function is complete before the GUI thread reads it.
    std::unique_lock<std::mutex> posting(PostingLock());
    QMetaObject::invokeMethod(
        app,
        [weakSelf, handOver]() {
            std::shared_ptr<TSyncThread> self;
            {
                std::lock_guard<std::mutex> posted(PostingLock());
                self = weakSelf.lock();
            }
            if (!self) return;
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                if (handOver->abandoned) return;
                handOver->running = true;
            }
            self->inHandOver_ = true;
            handOver->fn();
            self->inHandOver_ = false;
            {
                std::lock_guard<std::mutex> lock(self->mutex_);
                handOver->done = true;
                if (self->pending_ == handOver) self->pending_.reset();
            }
            self->cv_.notify_all();
        },
        Qt::QueuedConnection);
    posting.unlock();
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&]() { return handOver->done || handOver->abandoned; });
    if (pending_ == handOver) pending_.reset();
    return handOver->done;
}

bool TSyncThread::SleepFor(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !cv_.wait_for(lock, std::chrono::milliseconds(ms), [&]() { return terminated_.load(); });
}
