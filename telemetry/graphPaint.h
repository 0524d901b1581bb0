// The painters of the graph: the scrolling time plot and the XY plot, drawn into any QPainter.
#pragma once

#include <QColor>
#include <QPolygon>
#include <QRect>
#include <utility>
#include <vector>

#include "telemetry/loopBuf.h"

class QPainter;
class QString;

// What the painters read: the channels, the ranges and the scroll position. TFrameGraph is one.
struct TGraphData {
    static constexpr int ChannelCount = 96;
    // The pair RecomputeRange starts from; a range still equal to it holds no sample.
    static constexpr double EmptyMin = 2147483647.0;
    static constexpr double EmptyMax = -2147483647.0;

    std::vector<TLoopBuf> Buffers;  // ChannelCount of them once the graph is initialised
    int Window = 200;               // sample steps across the width of the time plot
    double YMin = 0.0;
    double YMax = 0.0;
    double PlotXMin = 0.0;
    double PlotXMax = 0.0;
    double PlotYMin = 0.0;
    double PlotYMax = 0.0;
    QColor BackColor = QColor(0, 0, 0);
    int Position = 0;      // the scroll bar: 0 shows the newest samples, -n looks n steps back
    bool FitEach = false;  // time plot: every visible channel on its own range over the samples in view
    bool Seconds = false;  // time plot: the axis in seconds of arrival instead of sample steps
};

// Where a picture changed: bands of Band pixels' height, each holding the spans drawn in it. Spans
// closer than Gap are joined, so a band holds few rectangles and a flat trace costs one thin strip.
class TDirtyBands {
public:
    static constexpr int Band = 4;
    static constexpr int Gap = 32;

    void Reset(int W, int H);
    // A box of pixels given by two corners in any order, cut to the picture.
    void Add(int x0, int y0, int x1, int y1);
    void Add(const QRect& rect) { Add(rect.left(), rect.top(), rect.right(), rect.bottom()); }
    // Every segment of a polyline.
    void Add(const QPolygon& trace);
    void Add(const TDirtyBands& other);
    bool Empty() const;
    // The joined spans, with those of `also` where given, top to bottom and left to right.
    std::vector<QRect> Rects(const TDirtyBands* also = nullptr) const;

private:
    int w_ = 0;
    int h_ = 0;
    std::vector<std::vector<std::pair<int, int>>> bands_;
    mutable std::vector<std::pair<int, int>> spans_;  // Rects' scratch
};

// The smallest step of the ladder 1, 2, 5 ... 1000 giving fewer than N intervals over Range; else 2000.
int ChooseStep(double Range, int N);

// The mappings of both plots for an image of W x H pixels with margin M.
class TGraphPainter {
public:
    TGraphPainter(const TGraphData& Data, int H, int W, int M) : G(Data), H(H), W(W), M(M) {}

    int ToY(double v) const;
    int ToX(int s) const;
    int ToPlotX(double v) const;
    int ToPlotY(double v) const;
    // "Fit each channel": a channel's smallest and largest sample in view, and the mapping that puts
    // them at the bottom and the top of the plot's middle 90 %. (EmptyMin, EmptyMax) without samples.
    std::pair<double, double> FitRange(const TLoopBuf& buffer) const;
    int FitToY(double v, double lo, double hi) const;
    // The sample drawn nearest to x: steps back from the newest (1 = newest), and the x it is drawn at;
    // 0 where no step is drawn.
    int StepsAt(int x, int* drawnX) const;

    void RenderTime(QPainter& Canvas) const;
    // RenderTime in two layers: what changes only with the ranges, the window, the scroll position and
    // the size (background, value grid, sample-step ticks); then what changes with every sample over it:
    // the traces, and the labels (ticks in seconds, the ranges of "Fit each channel"), noting where
    // those went in `dirty`.
    void RenderTimeGrid(QPainter& Canvas) const;
    void RenderTimeTraces(QPainter& Canvas, TDirtyBands* dirty = nullptr) const;
    // The traces' parts: the thinned polyline of each visible channel (empty for the others) in channel
    // order, drawing them, and the labels over them.
    std::vector<QPolygon> TimeTraces() const;
    void DrawTimeTraces(QPainter& Canvas, const std::vector<QPolygon>& traces) const;
    void RenderTimeLabels(QPainter& Canvas, TDirtyBands* dirty) const;
    void RenderXY(QPainter& Canvas) const;

private:
    void Background(QPainter& Canvas) const;
    QRect Label(QPainter& Canvas, int x, int y, const QString& text, const QColor& color) const;
    void SecondsTicks(QPainter& Canvas, TDirtyBands* dirty) const;
    void FitLabels(QPainter& Canvas, TDirtyBands* dirty) const;
    // FitRange of channel c, computed once per painter for both the traces and the labels.
    std::pair<double, double> FitRangeOf(size_t c) const;
    mutable std::vector<std::pair<double, double>> fitRanges_;
    // Calls f(x, k, v) for every drawn step of the time plot, left to right: x its pixel column, k the
    // steps back from the newest sample of the buffer, v that sample.
    template <typename F>
    void ForEachStep(const TLoopBuf& buffer, F f) const;

    const TGraphData& G;
    int H;
    int W;
    int M;
};

inline void RenderTime(QPainter& Canvas, const TGraphData& G, int H, int W, int M) {
    TGraphPainter(G, H, W, M).RenderTime(Canvas);
}
inline void RenderXY(QPainter& Canvas, const TGraphData& G, int H, int W, int M) {
    TGraphPainter(G, H, W, M).RenderXY(Canvas);
}
