#include "link/Waiter.h"

TWaiter::TWaiter(TLog onLog, QObject* parent) : QObject(parent), onLog_(std::move(onLog)) {
    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &TWaiter::Tick);
}

bool TWaiter::Start(int ticks, const QString& message, TNotify onTick, TNotify onExpire) {
    if (active_) return false;
    remaining_ = ticks;
    active_ = true;
    onTick_ = std::move(onTick);
    onExpire_ = std::move(onExpire);
    message_ = message;
    timer_.start();
    return true;
}

void TWaiter::Tick() {
    if (onTick_) onTick_();
    if (active_) {
        --remaining_;
        if (remaining_ <= 0) {
            active_ = false;
            if (!message_.isEmpty() && onLog_) onLog_(message_);
            // The callback may Start a new wait; take it out first so that its own arguments stay.
            TNotify expire = onExpire_;
            if (expire) expire();
        }
    }
    if (!active_) {
        onTick_ = nullptr;
        onExpire_ = nullptr;
        timer_.stop();
    }
}
