#include "app/actionUpdate.h"

#include <QAction>
#include <QMenu>

TActionUpdater::TActionUpdater(QObject* parent) : QObject(parent) {
    timer_.setInterval(IntervalMs);
    connect(&timer_, &QTimer::timeout, this, &TActionUpdater::UpdateAll);
    timer_.start();
}

void TActionUpdater::Add(QAction* action, std::function<void()> onUpdate) {
    entries_.push_back({action, std::move(onUpdate)});
}

void TActionUpdater::Watch(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, &TActionUpdater::UpdateAll);
}

void TActionUpdater::UpdateAll() {
    std::erase_if(entries_, [](const TEntry& entry) { return entry.Action.isNull(); });
    // A handler may register further actions: walk by index.
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Action && entries_[i].OnUpdate) entries_[i].OnUpdate();
}
