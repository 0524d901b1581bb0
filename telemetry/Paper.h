// The plotting surface of the graph: a paint box drawn by its owner, and the box that holds it without
// erasing under it.
#pragma once

#include <QFrame>
#include <QRegion>
#include <QWidget>
#include <functional>

class QMouseEvent;
class QPainter;

// A windowless paint box: its owner draws the region asked for in OnPaint and gets its mouse events.
class TPaper : public QWidget {
public:
    explicit TPaper(QWidget* parent = nullptr);

    std::function<void(QPainter&, const QRegion&)> OnPaint;
    std::function<void(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;
    std::function<void()> OnLeave;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

// The box around the paper: erases only what no paper covers, so the plot never flickers, and keeps
// the arrow keys and Alt from scrolling it.
class TPaperBox : public QFrame {
public:
    explicit TPaperBox(QWidget* parent = nullptr);

    // The part of the client area the background fill covers: all of it minus every TPaper child.
    QRegion EraseRegion() const;
    // True for the keys the box swallows: the arrow keys and left Alt going down, right Alt going up.
    static bool Swallows(QKeyEvent* event);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
};
