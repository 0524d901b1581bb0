// The graph frame: ring buffers, ranges, scroll bar, mouse zoom, plot modes and the repaint thread.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <memory>

#include "support/qtWait.h"
#include "telemetry/fGraph.h"

namespace {

// A graph whose paper is exactly 400 x 200 pixels while the scroll bar is hidden.
std::unique_ptr<TFrameGraph> MakeGraph() {
    auto graph = std::make_unique<TFrameGraph>();
    graph->InitGraph();
    graph->resize(400, 200);
    graph->PaperBox1->resize(400, 200);
    graph->Paper1->resize(400, 200);
    return graph;
}

}  // namespace

TEST(LoopBuf, WrapsAfterCapacityAndKeepsItsExtremes) {
    TLoopBuf b;
    EXPECT_EQ(b.Capacity, 4096);
    EXPECT_EQ(b.Name, QStringLiteral("Noname"));
    EXPECT_EQ(b.Lowest, 2147483648.0f);
    EXPECT_EQ(b.Highest, -2147483648.0f);
    b.Add(-5.0f);  // the smallest sample, about to be overwritten
    for (int i = 1; i < 4097; ++i) b.Add(static_cast<float>(i));
    EXPECT_EQ(b.GetCount(), 4096);
    EXPECT_EQ(b.GetHead(), 1);
    EXPECT_EQ(b.Get(0), 4096.0);  // the first sample is gone
    EXPECT_EQ(b.Get(1), 1.0);
    EXPECT_EQ(b.Last, 4096.0f);
    EXPECT_EQ(b.Lowest, -5.0f);
    EXPECT_EQ(b.Highest, 4096.0f);
    EXPECT_EQ(b.Get(-1), 0.0);
    EXPECT_EQ(b.Get(4096), 0.0);
    b.Clear();
    EXPECT_EQ(b.GetCount(), 0);
    EXPECT_EQ(b.GetHead(), 0);
    EXPECT_EQ(b.Get(0), 0.0);
    EXPECT_EQ(b.Lowest, 2147483648.0f);
    // A smaller capacity never leaves the head outside the ring.
    for (int i = 0; i < 100; ++i) b.Add(1.0f);
    b.SetCapacity(10);
    b.Add(2.0f);
    EXPECT_EQ(b.GetCount(), 1);
    EXPECT_EQ(b.Get(0), 2.0);
}

TEST(FrameGraph, ChannelsOutsideTheRangeChangeNothing) {
    auto g = MakeGraph();
    g->SetChannel(0, true, Qt::red, true, QStringLiteral("Zero"), 0.5);
    g->Dirty = false;
    const double yMin = g->YMin, yMax = g->YMax;
    for (int index : {96, -1, 1000}) {
        g->AddValue(index, 123.0f);
        g->SetVisible(index, true);
        EXPECT_FALSE(g->Dirty) << index;
        EXPECT_EQ(g->ChannelName(index), QString()) << index;
        EXPECT_EQ(g->ChannelColor(index, Qt::cyan), QColor(Qt::cyan)) << index;
    }
    EXPECT_EQ(g->YMin, yMin);
    EXPECT_EQ(g->YMax, yMax);
    EXPECT_EQ(g->MaxCount, 0);
    EXPECT_EQ(g->ChannelName(0), QStringLiteral("Zero"));
    EXPECT_EQ(g->ChannelColor(0, Qt::cyan), QColor(Qt::red));
    g->AddValue(0, 7.0f);
    EXPECT_TRUE(g->Dirty);
    EXPECT_EQ(g->ChannelValue(0), 3.5);
    // Setting up a channel outside the range still refits the scroll bar and marks the graph dirty.
    g->Dirty = false;
    g->SetChannel(96, true, Qt::red, true, QStringLiteral("x"), 1.0);
    EXPECT_TRUE(g->Dirty);
}

TEST(FrameGraph, HiddenChannelsWidenTheRangeOnlyOnceShown) {
    auto g = MakeGraph();
    g->SetChannel(0, true, Qt::red, true, QStringLiteral("a"), 1.0);
    g->SetChannel(1, false, Qt::blue, true, QStringLiteral("b"), 1.0);
    g->RecomputeRange();
    // No visible channel with samples: the empty pair.
    EXPECT_EQ(g->YMin, 2147483647.0);
    EXPECT_EQ(g->YMax, -2147483647.0);
    g->AddValue(0, 10.0f);
    g->AddValue(0, 20.0f);
    g->AddValue(1, -500.0f);
    g->AddValue(1, 900.0f);
    EXPECT_EQ(g->YMin, 10.0);
    EXPECT_EQ(g->YMax, 20.0);
    g->SetVisible(1, true);
    EXPECT_EQ(g->YMin, 10.0);  // showing alone does not refit
    g->RecomputeRange();
    EXPECT_EQ(g->YMin, -500.0);
    EXPECT_EQ(g->YMax, 900.0);
    g->SetVisible(0, false);
    g->SetVisible(1, false);
    g->RecomputeRange();
    EXPECT_EQ(g->YMin, 2147483647.0);
    EXPECT_EQ(g->YMax, -2147483647.0);
    g->SetVisible(0, true);
    g->Clear();
    EXPECT_EQ(g->Buffers[0].GetCount(), 0);
    EXPECT_EQ(g->YMin, 2147483647.0);  // nothing left since the Clear
    EXPECT_EQ(g->MaxCount, 0);
}

TEST(FrameGraph, ScrollBarFollowsMaxCountAndWindow) {
    auto g = MakeGraph();
    g->SetChannel(0, false, Qt::red, true, QStringLiteral("a"), 1.0);
    for (int i = 0; i < 200; ++i) {
        g->Dirty = false;  // refits happen once per rendered frame
        g->AddValue(0, 1.0f);
    }
    EXPECT_TRUE(g->ScrollBar1->isHidden());
    EXPECT_EQ(g->ScrollBar1->value(), 0);
    for (int i = 200; i < 1000; ++i) {
        g->Dirty = false;
        g->AddValue(0, 1.0f);
    }
    EXPECT_FALSE(g->ScrollBar1->isHidden());
    EXPECT_EQ(g->ScrollBar1->minimum(), -800);
    EXPECT_EQ(g->ScrollBar1->maximum(), 0);
    // While a frame waits to be rendered, samples do not refit the bar.
    g->AddValue(0, 1.0f);
    EXPECT_EQ(g->ScrollBar1->minimum(), -800);
    // A reset channel starts MaxCount over, even with samples elsewhere.
    g->SetChannel(0, false, Qt::red, true, QStringLiteral("a"), 1.0);
    EXPECT_EQ(g->MaxCount, 0);
    EXPECT_TRUE(g->ScrollBar1->isHidden());
    // In the XY plot the bar is hidden.
    for (int i = 0; i < 1000; ++i) g->AddValue(0, 1.0f);
    g->UpdateScrollBar();
    EXPECT_FALSE(g->ScrollBar1->isHidden());
    g->N2D1->trigger();
    EXPECT_TRUE(g->ScrollBar1->isHidden());
}

TEST(FrameGraph, DraggingChangesTheWindowWithinLimits) {
    auto g = MakeGraph();
    struct Case {
        int toX;
        int window;
    } cases[] = {
        {100, 200},     // no move
        {500, 400},     // right by the whole width doubles it
        {0, 150},       // left by a quarter
        {-5000, 20},    // far left stops at 20
        {50000, 4096},  // far right at 4096
        {101, 200},     // 200.5: halves to even
        {103, 202},     // 201.5
    };
    for (const Case& c : cases) {
        g->Window = 200;
        g->Paper1MouseDown(Qt::LeftButton, 100, 50);
        g->Paper1MouseMove(Qt::LeftButton, c.toX, 50);
        EXPECT_EQ(g->Window, c.window) << c.toX;
        g->Paper1MouseUp(Qt::LeftButton, c.toX, 50);
    }
    // Without the left button held, moving changes nothing.
    g->Window = 200;
    g->Paper1MouseMove(Qt::RightButton, 399, 50);
    EXPECT_EQ(g->Window, 200);
    // A right press does not move the point of the last left press.
    g->Paper1MouseDown(Qt::LeftButton, 10, 20);
    g->Paper1MouseDown(Qt::RightButton, 30, 40);
    EXPECT_EQ(g->DownX, 10);
    EXPECT_EQ(g->DownY, 20);
}

TEST(FrameGraph, ClickZoomInTheTimePlot) {
    auto g = MakeGraph();
    ASSERT_EQ(g->Paper1->height(), 200);
    struct Case {
        Qt::MouseButton button;
        int upX;
        double yMin, yMax;
    } cases[] = {
        {Qt::LeftButton, 100, 25, 75},
        {Qt::RightButton, 100, -350, 450},
        {Qt::RightButton, 101, 0, 100},  // another x: no zoom
        {Qt::LeftButton, 99, 0, 100},
    };
    for (const Case& c : cases) {
        g->YMin = 0;
        g->YMax = 100;
        g->Paper1MouseDown(Qt::LeftButton, 100, 100);
        g->Dirty = false;
        g->Paper1MouseUp(c.button, c.upX, 100);
        EXPECT_EQ(g->YMin, c.yMin) << c.upX;
        EXPECT_EQ(g->YMax, c.yMax) << c.upX;
        EXPECT_TRUE(g->Dirty);
    }
}

TEST(FrameGraph, PlotModesAndTheXYZoom) {
    auto g = MakeGraph();
    g->YMin = 0;
    g->YMax = 100;
    EXPECT_TRUE(g->N1D1->isChecked());
    g->N2D1->trigger();
    EXPECT_EQ(g->PlotMode, 2);
    EXPECT_EQ(g->PlotXMin, 0);
    EXPECT_EQ(g->PlotYMax, 100);
    // A rectangle from (100, 50) to (300, 150) on 400 x 200.
    g->Paper1MouseDown(Qt::LeftButton, 100, 50);
    g->Paper1MouseUp(Qt::LeftButton, 300, 150);
    EXPECT_EQ(g->PlotXMin, 25);
    EXPECT_EQ(g->PlotXMax, 75);
    EXPECT_EQ(g->PlotYMin, 25);
    EXPECT_EQ(g->PlotYMax, 75);
    // A drag up or left changes nothing.
    g->Paper1MouseDown(Qt::LeftButton, 300, 150);
    g->Paper1MouseUp(Qt::LeftButton, 100, 50);
    EXPECT_EQ(g->PlotXMin, 25);
    // "2D" again keeps the zoom; "1D" then "2D" restarts from the time plot's range.
    g->N2D1->trigger();
    EXPECT_EQ(g->PlotXMin, 25);
    EXPECT_EQ(g->PlotMode, 2);
    g->N1D1->trigger();
    EXPECT_EQ(g->PlotMode, 0);
    EXPECT_TRUE(g->N1D1->isChecked());
    EXPECT_FALSE(g->N2D1->isChecked());
    g->N2D1->trigger();
    EXPECT_EQ(g->PlotXMin, 0);
    EXPECT_EQ(g->PlotXMax, 100);
    EXPECT_EQ(g->PlotYMin, 0);
    EXPECT_EQ(g->PlotYMax, 100);
}

TEST(FrameGraph, RightClickOpensThePopup) {
    auto g = MakeGraph();
    g->show();
    g->YMin = 0;
    g->YMax = 100;
    g->Paper1MouseDown(Qt::LeftButton, 100, 100);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 100), g->Paper1->mapToGlobal(QPointF(100, 100)),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(100, 100),
                        g->Paper1->mapToGlobal(QPointF(100, 100)), Qt::RightButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(g->Paper1, &press);
    QCoreApplication::sendEvent(g->Paper1, &release);
    EXPECT_EQ(g->YMin, -350);
    EXPECT_TRUE(g->PopupMenu1->isVisible());
    g->PopupMenu1->hide();
}

TEST(FrameGraph, RepaintRendersOnlyWhenDirty) {
    auto g = MakeGraph();
    g->SetChannel(0, true, Qt::red, true, QStringLiteral("a"), 1.0);
    g->show();
    g->AddValue(0, 5.0f);
    g->AddValue(0, 6.0f);
    // The ticker asks for the repaint; the paint renders and clears Dirty.
    ASSERT_TRUE(ProcessEventsUntil([&] { return !g->Dirty; }, 20000));
    EXPECT_EQ(g->Bitmap.size(), g->Paper1->size() * g->Paper1->devicePixelRatioF());
    const QImage before = g->Bitmap.copy();
    g->Bitmap.fill(Qt::green);
    g->Paper1->repaint();  // not dirty: the image is copied, not rendered again
    EXPECT_EQ(g->Bitmap.pixelColor(10, 10), QColor(Qt::green));
    g->Dirty = true;
    g->Paper1->repaint();
    EXPECT_FALSE(g->Dirty);
    EXPECT_EQ(g->Bitmap, before);
}

TEST(FrameGraph, TickerStopsWithItsGraph) {
    std::shared_ptr<ThreadTic> ticker;
    {
        auto g = MakeGraph();
        ticker = g->Ticker;
        ASSERT_TRUE(ticker);
        EXPECT_TRUE(ticker->Running());
        // Let some hand-overs queue up and run.
        ProcessEventsFor(100);
        EXPECT_EQ(ticker->Interval, 20);
    }
    EXPECT_FALSE(ticker->Running());
    EXPECT_TRUE(ticker->Terminated());
    // A hand-over that was still queued is dropped, not run on the destroyed graph.
    ProcessEventsFor(100);
}

TEST(PaperBox, ErasesAroundThePaperOnly) {
    TPaperBox box;
    box.resize(300, 200);
    EXPECT_EQ(box.EraseRegion(), QRegion(0, 0, 300, 200));
    auto* paper = new TPaper(&box);
    paper->setGeometry(0, 0, 300, 150);
    EXPECT_EQ(box.EraseRegion(), QRegion(0, 150, 300, 50));
    paper->setGeometry(0, 0, 300, 200);
    EXPECT_TRUE(box.EraseRegion().isEmpty());
}

TEST(PaperBox, SwallowsArrowsAndAlt) {
    struct Case {
        QEvent::Type type;
        int key;
        quint32 nativeKey;
        bool swallowed;
    } cases[] = {
        {QEvent::KeyPress, Qt::Key_Left, 0, true},      {QEvent::KeyPress, Qt::Key_Up, 0, true},
        {QEvent::KeyPress, Qt::Key_Right, 0, true},     {QEvent::KeyPress, Qt::Key_Down, 0, true},
        {QEvent::KeyPress, Qt::Key_Alt, 0xffe9, true},  {QEvent::KeyPress, Qt::Key_Alt, 164, true},
        {QEvent::KeyPress, Qt::Key_Alt, 0xffea, false}, {QEvent::KeyRelease, Qt::Key_Alt, 0xffea, true},
        {QEvent::KeyRelease, Qt::Key_Alt, 165, true},   {QEvent::KeyRelease, Qt::Key_Alt, 0xffe9, false},
        {QEvent::KeyRelease, Qt::Key_Left, 0, false},   {QEvent::KeyPress, Qt::Key_A, 0, false},
        {QEvent::KeyPress, Qt::Key_PageDown, 0, false},
    };
    TPaperBox box;
    for (const Case& c : cases) {
        QKeyEvent event(c.type, c.key, Qt::NoModifier, 0, c.nativeKey, 0);
        EXPECT_EQ(TPaperBox::Swallows(&event), c.swallowed) << c.key << " " << c.nativeKey;
        event.setAccepted(false);
        QCoreApplication::sendEvent(&box, &event);
        // An accepted event stops here; the others go on to the box's parent.
        if (c.swallowed) {
            EXPECT_TRUE(event.isAccepted()) << c.key;
        }
    }
}

TEST(FrameGraph, CachedGridRendersAsAFreshRender) {
    auto g = MakeGraph();
    g->BackColor = Qt::white;
    g->SetChannel(0, true, Qt::red, true, QStringLiteral("a"), 1.0);
    for (int i = 0; i < 50; ++i) g->AddValue(0, static_cast<float>(i));
    g->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(g.get()));
    const auto fresh = [&] {
        QImage image(g->Bitmap.size(), QImage::Format_RGB32);
        image.setDotsPerMeterX(g->Bitmap.dotsPerMeterX());
        image.setDotsPerMeterY(g->Bitmap.dotsPerMeterY());
        QPainter painter(&image);
        RenderTime(painter, *g, image.height(), image.width(), 2);
        return image;
    };
    struct Step {
        const char* what;
        std::function<void()> change;
    } steps[] = {
        {"first render", [] {}},
        {"range widened", [&] { g->AddValue(0, 500.0f); }},
        {"sample inside the range", [&] { g->AddValue(0, 20.0f); }},
        {"window", [&] { g->Window = 60; }},
        {"zoom", [&] { g->YMin = -1000; }},
        {"background", [&] { g->BackColor = Qt::black; }},
    };
    for (const Step& step : steps) {
        step.change();
        g->Dirty = true;
        g->Paper1->repaint();
        ASSERT_FALSE(g->Dirty) << step.what;
        EXPECT_TRUE(g->Bitmap == fresh()) << step.what;
    }
}
