// The graph frame: ranges, mouse, freeze and held views, the frames it draws and repaints, and the repaint
// thread while the plot cannot be seen.
#include <gtest/gtest.h>

#include <QPainter>
#include <QScrollBar>
#include <functional>
#include <memory>

#include "support/qtWait.h"
#include "telemetry/fGraph.h"

namespace {

// A graph whose paper is 400 x 200 pixels (not shown, so no layout changes it), channel 0 visible.
std::unique_ptr<TFrameGraph> MakeGraph() {
    auto graph = std::make_unique<TFrameGraph>();
    graph->InitGraph();
    graph->BackColor = Qt::white;
    graph->resize(400, 200);
    graph->PaperBox1->resize(400, 200);
    graph->Paper1->resize(400, 200);
    graph->SetChannel(0, true, Qt::red, true, QStringLiteral("a"), 1.0);
    return graph;
}

}  // namespace

TEST(FrameGraph, MouseSetsTheWindowAndZooms) {
    auto g = MakeGraph();
    // Dragging right by the whole width doubles the window; limits 20 and 4096; halves to even.
    for (const auto& [toX, window] :
         {std::pair{500, 400}, {0, 150}, {-5000, 20}, {50000, 4096}, {101, 200}, {103, 202}}) {
        g->Window = 200;
        g->Paper1MouseDown(Qt::LeftButton, 100, 50);
        g->Paper1MouseMove(Qt::LeftButton, toX, 50);
        EXPECT_EQ(g->Window, window) << toX;
        g->Paper1MouseUp(Qt::LeftButton, toX, 50);
    }
    // A click at the x of the last left press zooms around the value under it: in by two, out by eight.
    for (const auto& [button, upX, lo, hi] : {std::tuple{Qt::LeftButton, 100, 25.0, 75.0},
                                              {Qt::RightButton, 100, -350.0, 450.0},
                                              {Qt::RightButton, 101, 0.0, 100.0}}) {
        g->YMin = 0;
        g->YMax = 100;
        g->Paper1MouseDown(Qt::LeftButton, 100, 100);
        g->Paper1MouseUp(button, upX, 100);
        EXPECT_EQ(std::pair(g->YMin, g->YMax), std::pair(lo, hi)) << upX;
    }
}

TEST(FrameGraph, FreezeAndScrollingBackHoldTheSamplesInView) {
    auto g = MakeGraph();
    for (int i = 0; i < 300; ++i) g->AddValue(0, static_cast<float>(i));
    g->AddValue(1, -500.0f);  // a hidden channel: never in the range
    g->RecomputeRange();
    EXPECT_EQ(g->YMin, 0.0);
    const auto plot = [&] {  // above the tick labels, whose ages grow with every sample
        g->Render(true);
        return g->Bitmap.copy(0, 0, 400, 150);
    };
    const QImage live = plot();
    g->ActionFreeze->trigger();
    for (int i = 0; i < 50; ++i) g->AddValue(0, 1000.0f);
    EXPECT_EQ(plot(), live);
    EXPECT_EQ(g->YMax, 299.0);  // nor does the range move
    g->ActionFreeze->trigger();
    EXPECT_EQ(g->YMax, 1000.0);
    EXPECT_NE(plot(), live);

    g->UpdateScrollBar();
    EXPECT_EQ(g->ScrollBar1->minimum(), -150);  // 350 samples, 200 in view
    g->ScrollBar1->setValue(-100);              // the operator scrolls back
    const QImage back = plot();
    for (int i = 0; i < 50; ++i) g->AddValue(0, 5.0f);
    g->UpdateScrollBar();
    EXPECT_EQ(plot(), back);
    EXPECT_EQ(g->ScrollBar1->value(), -150);
    g->ScrollBar1->setValue(0);  // back at the newest: following again
    g->AddValue(0, 5.0f);
    EXPECT_EQ(g->ViewPosition(), 0);
}

TEST(FrameGraph, EachFrameDrawsWhatAFullRenderDrawsAndRepaintsAllItChanged) {
    auto g = MakeGraph();
    g->SetChannel(1, true, Qt::blue, true, QStringLiteral("b (V)"), 0.1);
    int n = 0;
    const auto add = [&](int count, float swing) {
        for (int i = 0; i < count; ++i, ++n) {
            g->AddValue(0, static_cast<float>(n % 40), n * 0.05 + n % 3 * 0.02);  // 20 a second, unevenly
            g->AddValue(1, swing, n * 0.05 + n % 3 * 0.02);                       // flat: its trace stays
        }
    };
    add(300, 1);
    g->Render(true);
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"samples inside the range", [&] { add(3, 1); }},
        {"range widened", [&] { add(1, 100); }},
        {"window", [&] { g->Window = 60; }},
        {"zoom", [&] { g->YMin = -1000; }},
        {"seconds", [&] { g->SetSeconds(true); }},
        {"samples, seconds", [&] { add(4, 3); }},  // the ticks move a little, the traces high above
        {"fit each channel", [&] { g->SetFitEach(true); }},
        {"samples, fitted", [&] { add(2, 1); }},
        {"background", [&] { g->BackColor = Qt::black; }},
    };
    for (const auto& [what, change] : steps) {
        const QImage before = g->Bitmap.copy();
        change();
        const QRegion changed = g->Render(false);
        QImage fresh = g->Bitmap.copy();  // the same size and dots per inch
        QPainter painter(&fresh);
        RenderTime(painter, *g, fresh.height(), fresh.width(), 2);
        EXPECT_EQ(g->Bitmap, fresh) << what;
        for (int y = 0; y < before.height(); ++y)
            for (int x = 0; x < before.width(); ++x)
                if (before.pixel(x, y) != g->Bitmap.pixel(x, y)) {
                    ASSERT_TRUE(changed.contains(QPoint(x, y))) << what << " " << x << "," << y;
                }
    }
}

TEST(FrameGraph, ASlowStreamIsDrawnWithoutTheRepaintThreadAndNoStreamFasterThanAFrameAnInterval) {
    auto g = MakeGraph();
    g->show();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !g->Dirty && g->Ticker->Idle(); }, 20000));
    const long long handOvers = g->Ticker->HandOvers();
    for (int i = 0; i < 5; ++i) {
        ProcessEventsFor(30);  // a record every 30 ms
        const long long renders = g->Renders;
        g->AddValue(0, static_cast<float>(i * 10));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !g->Dirty; }, 20000));
        EXPECT_GT(g->Renders, renders);
    }
    EXPECT_EQ(g->Ticker->HandOvers(), handOvers);

    // A sample every pass of the event loop for 300 ms: a frame every 20 ms at most.
    const long long renders = g->Renders;
    const double start = TFrameGraph::Now();
    float v = 0;
    ProcessEventsUntil(
        [&] {
            g->AddValue(0, v += 1.0f);
            return TFrameGraph::Now() - start > 0.3;
        },
        20000);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !g->Dirty; }, 20000));
    const double elapsed = TFrameGraph::Now() - start;
    EXPECT_GT(g->Renders, renders);
    EXPECT_LE(g->Renders - renders, static_cast<long long>(elapsed / 0.02) + 1);
}

TEST(FrameGraph, NoRepaintHandOverWhileHiddenOrMinimised) {
    std::shared_ptr<ThreadTic> ticker;
    {
        auto g = MakeGraph();
        ticker = g->Ticker;
        g->show();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !g->Dirty; }, 20000));
        for (const auto& hide :
             std::vector<std::function<void()>>{[&] { g->hide(); }, [&] { g->showMinimized(); }}) {
            hide();
            ASSERT_TRUE(ProcessEventsUntil([&] { return ticker->Idle(); }, 20000));
            const long long handOvers = ticker->HandOvers();
            for (int i = 0; i < 100; ++i) g->AddValue(0, static_cast<float>(i));
            EXPECT_TRUE(g->Dirty);
            // Idle with nothing asked for: the thread hands nothing over until the paper shows again.
            EXPECT_TRUE(ticker->Idle());
            EXPECT_EQ(ticker->HandOvers(), handOvers);
            g->showNormal();  // shown again, the plot is drawn
            EXPECT_TRUE(ProcessEventsUntil([&] { return !g->Dirty; }, 20000));
        }
    }
    EXPECT_FALSE(ticker->Running());  // stopped and joined with its graph
}
