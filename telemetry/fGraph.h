// The graph frame: up to 96 channels in ring buffers, a time plot or an XY plot on a paper, a scroll
// bar back in time, mouse zoom, freeze, a readout under the mouse, and a small thread that asks for a
// repaint at most every 20 ms, and only while there is something new to show.
#pragma once

#include <QColor>
#include <QFrame>
#include <QImage>
#include <QRegion>
#include <QString>
#include <cstdint>
#include <memory>

#include "telemetry/Paper.h"
#include "telemetry/graphPaint.h"
#include "telemetry/graphReadout.h"
#include "telemetry/graphTicker.h"
#include "telemetry/loopBuf.h"

class QAction;
class QMenu;
class QPainter;
class QScrollBar;

class TFrameGraph : public QFrame, public TGraphData {
    Q_OBJECT
public:
    explicit TFrameGraph(QWidget* parent = nullptr);
    ~TFrameGraph() override;

    // Creates the buffers, the image and the repaint thread. Called once by the owner.
    void InitGraph();
    void SetChannel(int Index, bool Visible, const QColor& Color, bool Reset, const QString& Name,
                    double Scale);
    // One ring-buffer store and a few comparisons: samples may come far faster than repaints. Time is
    // the arrival in seconds of Now(); without it the sample arrives now.
    void AddValue(int Index, float Value) { AddValue(Index, Value, Now()); }
    void AddValue(int Index, float Value, double Time) {
        if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return;
        TLoopBuf& buffer = Buffers[static_cast<size_t>(Index)];
        buffer.Add(Value, Time);
        if (buffer.Count > MaxCount) MaxCount = buffer.Count;
        if (buffer.Added > Steps) Steps = buffer.Added;
        if (buffer.Visible) {
            // A held view keeps its range; Follow widens it by what arrived meanwhile.
            double& lo = HeldEnd < 0 ? YMin : PendingMin;
            double& hi = HeldEnd < 0 ? YMax : PendingMax;
            if (lo > Value) lo = Value;
            if (hi < Value) hi = Value;
        }
        if (!Dirty) MarkDirty();
    }
    // Seconds on a steady clock, the time base of the samples.
    static double Now();
    void SetVisible(int Index, bool Visible);
    // Fits YMin and YMax to everything the visible channels received since the last Clear.
    void RecomputeRange();
    void Clear();
    QString ChannelName(int Index) const;
    QColor ChannelColor(int Index, const QColor& Default) const;
    double ChannelValue(int Index) const;
    void UpdateScrollBar();

    // Freeze holds the view on the samples it shows while new ones keep arriving; releasing it jumps
    // back to the newest. Scrolling back holds the view the same way until the bar is back at the end.
    void SetFrozen(bool frozen);
    bool Frozen() const { return frozen_; }
    void SetFitEach(bool on);
    void SetSeconds(bool on);
    // The scroll position the view shows now: 0 while following, the held samples otherwise.
    int ViewPosition() const;

    // Whether the paper can be seen: shown, not empty, its window neither minimised nor unexposed.
    bool Showing() const;
    // Called on the GUI thread by the ticker: renders what changed and repaints only that.
    void Tick();
    // Renders into Bitmap what changed since the last render (all of it when `whole`); returns the part
    // of the paper to repaint, empty when the picture is the same.
    QRegion Render(bool whole);
    // The plot as a PNG, written whole or not at all.
    bool SaveImage(const QString& path, QString* error);
    // What the mouse at p (paper pixels) reads.
    TReadout ReadoutAt(QPoint p) const;

    // Handlers; W and H are the paper's size, X and Y the mouse position on it.
    void Paper1Paint(QPainter& canvas, const QRegion& region);
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
    QAction* NFitEach = nullptr;      // "Fit each channel"
    QAction* NSeconds = nullptr;      // "Time in seconds"
    QAction* ActionFreeze = nullptr;  // "Freeze", Space while the graph has the focus

    QImage Bitmap;
    std::shared_ptr<ThreadTic> Ticker;
    bool Dirty = false;
    int MaxCount = 0;
    uint8_t PlotMode = 0;
    int DownX = 0;
    int DownY = 0;
    int DownWindow = 0;
    long long Steps = 0;     // the most samples any channel received since the last Clear
    long long HeldEnd = -1;  // the Steps at the right edge of a held view; -1 while following
    double PendingMin = EmptyMin;
    double PendingMax = EmptyMax;
    long long Renders = 0;         // plots rendered so far
    long long RenderedPixels = 0;  // of the paper, over all those renders
    long long RenderedRects = 0;   // rectangles repainted, over all those renders
    QPoint Hover{-1, -1};          // the mouse over the paper, (-1, -1) when away

    // The time plot's grid as last drawn.
    QImage GridImage;

protected:
    void resizeEvent(QResizeEvent* event) override;  // FrameResize
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TFrameKey {
        QSize Size;
        double YMin = 0, YMax = 0, PlotXMin = 0, PlotXMax = 0, PlotYMin = 0, PlotYMax = 0;
        int Window = 0, Position = 0;
        long long End = 0, Newest = 0, Version = 0;
        QRgb Back = 0;
        int DotsPerMeter = 0;
        uint8_t Mode = 0;
        bool FitEach = false, Seconds = false;
        bool operator==(const TFrameKey&) const = default;
    };
    // First sample after a render: refit the scroll bar, wake the ticker.
    void MarkDirty();
    // Something besides new samples changed the picture.
    void MarkChanged();
    void Follow();
    void UpdateShowing();
    QRegion RenderTimeLayers(const QSize& size, bool whole);
    void MoveHover(QPoint p);

    TFrameKey frameKey_;
    TFrameKey gridKey_;
    std::vector<QPolygon> lastTraces_;  // as last drawn, one per channel
    TDirtyBands lastLabels_;
    TDirtyBands nextLabels_;
    TDirtyBands nextBands_;
    long long version_ = 0;
    bool frozen_ = false;
    bool showing_ = false;
    bool tickPosted_ = false;  // a Tick of the GUI thread's own is queued
    double refitAt_ = 0.0;     // when the scroll bar was last fitted
    QRect readoutRect_;
};
