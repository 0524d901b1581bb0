// The graph frame: up to 96 channels in ring buffers, a time plot or an XY plot on a paper, a scroll
// bar back in time, mouse zoom, and a small thread that asks for a repaint every 20 ms.
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>

#include "link/syncThread.h"
#include "telemetry/Paper.h"
#include "telemetry/graphPaint.h"
#include "telemetry/loopBuf.h"

class QAction;
class QMenu;
class QPainter;
class QScrollBar;
class TFrameGraph;

// Hands the graph's Tick to the GUI thread every Interval ms until the graph stops it.
class ThreadTic : public TSyncThread {
public:
    ThreadTic(TFrameGraph* graph, int interval) : Graph(graph), Interval(interval) {}

    TFrameGraph* const Graph;
    const int Interval;

protected:
    void Execute() override;
};

class TFrameGraph : public QFrame, public TGraphData {
    Q_OBJECT
public:
    explicit TFrameGraph(QWidget* parent = nullptr);
    ~TFrameGraph() override;

    // Creates the buffers, the image and the repaint thread. Called once by the owner.
    void InitGraph();
    void SetChannel(int Index, bool Visible, const QColor& Color, bool Reset, const QString& Name,
                    double Scale);
    // One ring-buffer store and two comparisons: samples may come far faster than repaints.
    void AddValue(int Index, float Value) {
        if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return;
        TLoopBuf& buffer = Buffers[static_cast<size_t>(Index)];
        buffer.Add(Value);
        if (buffer.Count > MaxCount) MaxCount = buffer.Count;
        if (buffer.Visible) {
            if (YMin > Value) YMin = Value;
            if (YMax < Value) YMax = Value;
        }
        if (!Dirty) UpdateScrollBar();
        Dirty = true;
    }
    void SetVisible(int Index, bool Visible);
    // Fits YMin and YMax to everything the visible channels received since the last Clear.
    void RecomputeRange();
    void Clear();
    QString ChannelName(int Index) const;
    QColor ChannelColor(int Index, const QColor& Default) const;
    double ChannelValue(int Index) const;
    void UpdateScrollBar();

    // Called on the GUI thread by the ticker.
    void Tick();

    // Handlers; W and H are the paper's size, X and Y the mouse position on it.
    void Paper1Paint(QPainter& canvas);
    void Paper1MouseDown(Qt::MouseButton button, int X, int Y);
    void Paper1MouseMove(Qt::MouseButtons buttons, int X, int Y);
    void Paper1MouseUp(Qt::MouseButton button, int X, int Y);
    void ScrollBar1Change();
    void N1D1Click();

    TPaperBox* PaperBox1 = nullptr;
    TPaper* Paper1 = nullptr;
    QScrollBar* ScrollBar1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N1D1 = nullptr;
    QAction* N2D1 = nullptr;

    QImage Bitmap;
    std::shared_ptr<ThreadTic> Ticker;
    // Read by the repaint ticker without a hand-over, so that an unchanged graph costs no wake-up.
    std::atomic<bool> Dirty{false};
    int MaxCount = 0;
    uint8_t PlotMode = 0;
    int DownX = 0;
    int DownY = 0;
    int DownWindow = 0;
    long long Renders = 0;  // plots rendered so far

    // The time plot's grid as last drawn, and what it was drawn for.
    QImage GridImage;

protected:
    void resizeEvent(QResizeEvent* event) override;  // FrameResize

private:
    struct TGridKey {
        QSize Size;
        double YMin = 0, YMax = 0;
        int Window = 0, Position = 0;
        QRgb Back = 0;
        int DotsPerMeter = 0;
        bool operator==(const TGridKey&) const = default;
    };
    void RenderTimeCached(const QSize& size);
    TGridKey gridKey_;
};
