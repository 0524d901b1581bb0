// A reply time-out in 100 ms ticks, with a log message and an expiry callback.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

class TWaiter : public QObject {
    Q_OBJECT
public:
    using TNotify = std::function<void()>;
    using TLog = std::function<void(const QString&)>;

    explicit TWaiter(TLog onLog, QObject* parent = nullptr);

    // Arms a wait of `ticks` ticks. Refused (false, nothing changed) while a wait is active.
    bool Start(int ticks, const QString& message, TNotify onTick = {}, TNotify onExpire = {});
    // Ends the wait silently at the next tick.
    void Cancel() { active_ = false; }
    // The timer handler; public so that tests can drive the ticks without waiting.
    void Tick();

    bool Active() const { return active_; }
    bool TimerRunning() const { return timer_.isActive(); }
    int Remaining() const { return remaining_; }

private:
    QTimer timer_;
    bool active_ = false;
    int remaining_ = 0;
    TNotify onTick_;
    TNotify onExpire_;
    QString message_;
    TLog onLog_;
};
