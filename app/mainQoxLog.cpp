// The main window's event log floating in a window of its own, and docked again.
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>
#include <functional>

#include "app/mainQox.h"

namespace {
// The log's window while it floats; closing it puts the log back.
class TLogWindow : public QWidget {
public:
    TLogWindow(QWidget* owner, std::function<void()> onClose)
        : QWidget(owner, Qt::Window), onClose_(std::move(onClose)) {
        setWindowTitle(QStringLiteral("Vek Tool - History events"));
        setAttribute(Qt::WA_DeleteOnClose, false);
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();  // DockLog takes the log out and deletes this window
        if (onClose_) onClose_();
    }

private:
    std::function<void()> onClose_;
};
}  // namespace

bool TFormMainQox::LogFloating() const {
    return logWindow_ != nullptr;
}

void TFormMainQox::UndockLog() {
    if (logWindow_) return;
    logWindow_ = new TLogWindow(this, [this] { DockLog(); });
    // The window's shortcuts keep working while the log floats.
    logWindow_->addActions(actions());
    auto* layout = new QVBoxLayout(logWindow_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ListBoxLog);
    logWindow_->resize(640, 320);
    logWindow_->show();
    ListBoxLog->show();
    QScrollBar* bar = ListBoxLog->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void TFormMainQox::DockLog() {
    if (!logWindow_) return;
    auto* row = static_cast<QHBoxLayout*>(GroupBox1->layout());
    row->insertWidget(logIndex_, ListBoxLog, 1);
    ListBoxLog->show();
    logWindow_->hide();
    logWindow_->deleteLater();
    logWindow_ = nullptr;
}

bool TFormMainQox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBoxLog->viewport() && event->type() == QEvent::MouseButtonDblClick && !logWindow_) {
        UndockLog();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
