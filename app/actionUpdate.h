// Keeps every action's enabled state current: runs the update handler of each registered action while
// the program is idle, at most about 100 ms apart, and right before a menu opens.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <vector>

class QAction;
class QMenu;

class TActionUpdater : public QObject {
public:
    static constexpr int IntervalMs = 100;

    explicit TActionUpdater(QObject* parent = nullptr);

    // Registers an action's update handler; it runs until the action is destroyed.
    void Add(QAction* action, std::function<void()> onUpdate);
    // Runs the handlers before `menu` shows, so that a menu never shows a stale state.
    void Watch(QMenu* menu);
    // Runs every handler now.
    void UpdateAll();

private:
    struct TEntry {
        QPointer<QAction> Action;
        std::function<void()> OnUpdate;
    };
    QTimer timer_;
    std::vector<TEntry> entries_;
};
