#include "telemetry/Paper.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TPaper::TPaper(QWidget* parent) : QWidget(parent) {
    // The owner paints every pixel from its image: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void TPaper::paintEvent(QPaintEvent* event) {
    if (!OnPaint) return;
    QPainter painter(this);
    OnPaint(painter, event->region());
}

void TPaper::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown) OnMouseDown(event);
}

void TPaper::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove) OnMouseMove(event);
}

void TPaper::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp) OnMouseUp(event);
}

void TPaper::leaveEvent(QEvent*) {
    if (OnLeave) OnLeave();
}

TPaperBox::TPaperBox(QWidget* parent) : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
}

QRegion TPaperBox::EraseRegion() const {
    QRegion region(rect());
    for (QObject* child : children()) {
        auto* paper = dynamic_cast<TPaper*>(child);
        if (paper == nullptr || paper->isHidden()) continue;
        region -= paper->geometry();
        if (region.isEmpty()) break;
    }
    return region;
}

void TPaperBox::paintEvent(QPaintEvent* event) {
    const QRegion region = EraseRegion() & event->region();
    if (region.isEmpty()) return;
    QPainter painter(this);
    painter.setClipRegion(region);
    painter.fillRect(rect(), palette().window());
}

bool TPaperBox::Swallows(QKeyEvent* event) {
    // Left and right Alt apart: X11 key symbols, or the Windows virtual keys VK_LMENU and VK_RMENU.
    const quint32 vk = event->nativeVirtualKey();
    const bool leftAlt = event->key() == Qt::Key_Alt && (vk == 0xffe9 || vk == 164);
    const bool rightAlt =
        (event->key() == Qt::Key_Alt || event->key() == Qt::Key_AltGr) && (vk == 0xffea || vk == 165);
    if (event->type() == QEvent::KeyPress) {
        switch (event->key()) {
            case Qt::Key_Left:
            case Qt::Key_Up:
            case Qt::Key_Right:
            case Qt::Key_Down:
                return true;
            default:
                return leftAlt;
        }
    }
    return event->type() == QEvent::KeyRelease && rightAlt;
}

void TPaperBox::keyPressEvent(QKeyEvent* event) {
    if (Swallows(event)) {
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

void TPaperBox::keyReleaseEvent(QKeyEvent* event) {
    if (Swallows(event)) {
        event->accept();
        return;
    }
    QFrame::keyReleaseEvent(event);
}
