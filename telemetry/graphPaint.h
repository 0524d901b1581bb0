// The painters of the graph: the scrolling time plot and the XY plot, drawn into any QPainter.
#pragma once

#include <QColor>
#include <vector>

#include "telemetry/loopBuf.h"

class QPainter;

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
    int Position = 0;  // the scroll bar: 0 shows the newest samples, -n looks n steps back
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

    void RenderTime(QPainter& Canvas) const;
    // RenderTime in two steps: background, value grid and time ticks; then the traces over them.
    void RenderTimeGrid(QPainter& Canvas) const;
    void RenderTimeTraces(QPainter& Canvas) const;
    void RenderXY(QPainter& Canvas) const;

private:
    void Background(QPainter& Canvas) const;
    void Label(QPainter& Canvas, int x, int y, const QString& text) const;

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
