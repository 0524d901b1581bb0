// Painting and recording costs of the graph: the time plot and the XY plot into a full-HD image, and
// the cost of one sample.
#include "telemetry/graphPaint.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "telemetry/fGraph.h"

namespace {

double Now(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Times every render on its own and reports the median and the 95th percentile, by CPU time of this
// thread (what the render costs) and by wall time (what it costs on this busy machine).
template <typename Render>
void TimeEach(benchmark::State& state, Render render) {
    std::vector<double> cpu, wall;
    for (auto _ : state) {
        const double c0 = Now(CLOCK_THREAD_CPUTIME_ID), w0 = Now(CLOCK_MONOTONIC);
        render();
        cpu.push_back(Now(CLOCK_THREAD_CPUTIME_ID) - c0);
        wall.push_back(Now(CLOCK_MONOTONIC) - w0);
    }
    auto percentile = [](std::vector<double> v, double p) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5))];
    };
    state.counters["cpu_median_ms"] = percentile(cpu, 0.5);
    state.counters["cpu_p95_ms"] = percentile(cpu, 0.95);
    state.counters["wall_median_ms"] = percentile(wall, 0.5);
    state.counters["wall_p95_ms"] = percentile(wall, 0.95);
}

// Telemetry-like traces: a slow swing with noise, so that the thinning keeps many vertices.
void FillChannels(TGraphData& g, int channels) {
    g.Buffers.assign(TGraphData::ChannelCount, TLoopBuf());
    unsigned seed = 12345;
    for (int c = 0; c < channels; ++c) {
        TLoopBuf& b = g.Buffers[static_cast<size_t>(c)];
        b.Visible = true;
        b.Color = QColor::fromHsv(c * 27 % 360, 255, 200);
        for (int i = 0; i < 4096; ++i) {
            seed = seed * 1103515245u + 12345u;
            const float noise = static_cast<float>((seed >> 16) % 200) - 100.0f;
            b.Add(static_cast<float>(1000.0 * std::sin(i * 0.01 + c) + 100 * c) + noise);
        }
    }
}

void Range(TGraphData& g) {
    g.YMin = TGraphData::EmptyMin;
    g.YMax = TGraphData::EmptyMax;
    for (const TLoopBuf& b : g.Buffers) {
        if (!b.Visible) continue;
        g.YMin = std::min<double>(g.YMin, b.Lowest);
        g.YMax = std::max<double>(g.YMax, b.Highest);
    }
    g.PlotXMin = g.PlotYMin = g.YMin;
    g.PlotXMax = g.PlotYMax = g.YMax;
}

void BM_RenderTime(benchmark::State& state) {
    TGraphData g;
    FillChannels(g, 13);
    g.Window = 4096;
    g.BackColor = Qt::white;
    Range(g);
    QImage image(1920, 1080, QImage::Format_RGB32);
    TimeEach(state, [&]() {
        QPainter painter(&image);
        RenderTime(painter, g, image.height(), image.width(), 2);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    });
}
BENCHMARK(BM_RenderTime)->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_RenderXY(benchmark::State& state) {
    TGraphData g;
    FillChannels(g, 12);
    g.BackColor = Qt::white;
    Range(g);
    QImage image(1920, 1080, QImage::Format_RGB32);
    TimeEach(state, [&]() {
        QPainter painter(&image);
        RenderXY(painter, g, image.height(), image.width(), 2);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    });
}
BENCHMARK(BM_RenderXY)->Unit(benchmark::kMillisecond)->Iterations(200);

// The naive way, for comparison: one wide polyline per pair.
void BM_XYWidePolyline(benchmark::State& state) {
    TGraphData g;
    FillChannels(g, 12);
    Range(g);
    TGraphPainter map(g, 1080, 1920, 2);
    std::vector<QPolygon> curves;
    for (int c = 0; c < 12; c += 2) {
        QPolygon p;
        for (int j = 0; j < 4096; ++j)
            p.append(QPoint(map.ToPlotX(g.Buffers[c].Get(j)), map.ToPlotY(g.Buffers[c + 1].Get(j))));
        curves.push_back(p);
    }
    QImage image(1920, 1080, QImage::Format_RGB32);
    TimeEach(state, [&]() {
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::white);
        painter.setPen(QPen(Qt::blue, 2));
        for (const QPolygon& p : curves) painter.drawPolyline(p);
        painter.end();
        benchmark::DoNotOptimize(image.constBits());
    });
}
BENCHMARK(BM_XYWidePolyline)->Unit(benchmark::kMillisecond)->Iterations(20);

// One frame of the streaming time plot as the program draws it: 13 channels of telemetry-like data
// (slow swings with small noise), one new sample each, then the tick's render and the repaint of what
// changed, on a plot of 1415x600 (its size in a 1920x1080 window), offscreen; "repainted" is the part the
// frame repainted. Arguments: 0 for the shared axis, 1 for "Fit each channel"; the swing of the traces
// in counts (0: flat with noise of a few counts, as with the motor standing).
void BM_StreamFrame(benchmark::State& state) {
    TFrameGraph graph;
    graph.InitGraph();
    graph.BackColor = Qt::white;
    graph.SetFitEach(state.range(0) == 1);
    for (int c = 0; c < 13; ++c) graph.SetChannel(c, true, QColor::fromHsv(c * 27, 255, 200), true, "c", 0.1);
    graph.resize(1415, 600);
    graph.show();
    unsigned seed = 1;
    long long n = 0;
    const double amplitude = state.range(1);
    const auto add = [&] {
        for (int c = 0; c < 13; ++c) {
            seed = seed * 1103515245u + 12345u;
            graph.AddValue(
                c, static_cast<float>(300 * c + amplitude * std::sin(n * 0.02 + c) + (seed >> 16) % 8));
        }
        ++n;
    };
    for (int i = 0; i < 400; ++i) add();
    graph.RecomputeRange();
    graph.Tick();
    QCoreApplication::processEvents();
    const long long pixels = graph.RenderedPixels, renders = graph.Renders;
    std::vector<double> ticks, paints;
    TimeEach(state, [&]() {
        add();
        const double t0 = Now(CLOCK_THREAD_CPUTIME_ID);
        graph.Tick();
        const double t1 = Now(CLOCK_THREAD_CPUTIME_ID);
        QCoreApplication::processEvents();  // the repaint of the region the tick asked for
        ticks.push_back(t1 - t0);
        paints.push_back(Now(CLOCK_THREAD_CPUTIME_ID) - t1);
    });
    std::sort(ticks.begin(), ticks.end());
    std::sort(paints.begin(), paints.end());
    state.counters["render_median_ms"] = ticks[ticks.size() / 2];
    state.counters["paint_median_ms"] = paints[paints.size() / 2];
    state.counters["repainted_pct"] = 100.0 * (graph.RenderedPixels - pixels) / (graph.Renders - renders) /
                                      (graph.Bitmap.width() * graph.Bitmap.height());
}
BENCHMARK(BM_StreamFrame)
    ->Args({0, 200})
    ->Args({0, 0})
    ->Args({1, 200})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(300);

void BM_AddValue13(benchmark::State& state) {
    TFrameGraph graph;
    graph.InitGraph();
    for (int c = 0; c < 13; ++c) graph.SetChannel(c, c % 2 == 0, Qt::red, true, QStringLiteral("c"), 1.0);
    float v = 0.0f;
    for (auto _ : state) {
        for (int c = 0; c < 13; ++c) graph.AddValue(c, v);
        v += 1.0f;
        if (v > 3000.0f) v = -3000.0f;
    }
    state.SetItemsProcessed(state.iterations() * 13);
}
BENCHMARK(BM_AddValue13);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
