// The painters: grid values and labels, time ticks, trace thinning, XY pairs.
#include <gtest/gtest.h>

#include <QLocale>
#include <QPainter>
#include <algorithm>

#include "paintRecorder.h"
#include "telemetry/graphPaint.h"

namespace {

QString Expected(const char* format, double v) {
    QString text = QString::asprintf(format, v);
    return text.replace(QLatin1Char('.'), QLocale::system().decimalPoint());
}

TGraphData Graph() {
    TGraphData g;
    g.Buffers.assign(TGraphData::ChannelCount, TLoopBuf());
    g.BackColor = Qt::white;
    return g;
}

// Records one render of the time plot (mode 0) or the XY plot (mode 2).
TRecordingEngine& Render(TRecordingDevice& device, const TGraphData& g, int mode) {
    QPainter painter(&device);
    if (mode == 2)
        RenderXY(painter, g, device.height(), device.width(), 2);
    else
        RenderTime(painter, g, device.height(), device.width(), 2);
    painter.end();
    return device.Engine();
}

std::vector<const TRecordedLines*> Solid(const TRecordingEngine& engine) {
    std::vector<const TRecordedLines*> traces;
    for (const TRecordedLines& item : engine.Lines)
        if (item.pen.style() == Qt::SolidLine && item.pen.color() != QColor(0, 0, 0)) traces.push_back(&item);
    return traces;
}

}  // namespace

TEST(ChooseStep, LadderGivesFewerThanNIntervals) {
    struct Case {
        double range;
        int n;
        int step;
    } cases[] = {{10, 3, 5}, {10, 11, 1},    {10, 6, 2},      {200, 11, 25}, {200, 201, 1},
                 {0, 1, 1},  {1e9, 3, 2000}, {4096, 39, 250}, {-5, 1, 1}};
    for (const Case& c : cases) EXPECT_EQ(ChooseStep(c.range, c.n), c.step) << c.range << " / " << c.n;
}

TEST(Mappings, RangeFillsTheMiddleNinetyPercent) {
    TGraphData g = Graph();
    g.YMin = 0;
    g.YMax = 100;
    g.PlotXMin = -10;
    g.PlotXMax = 10;
    g.PlotYMin = 0;
    g.PlotYMax = 1;
    g.Window = 200;
    TGraphPainter p(g, 200, 400, 2);
    EXPECT_EQ(p.ToY(0), 190);
    EXPECT_EQ(p.ToY(100), 10);
    EXPECT_EQ(p.ToY(50), 100);
    EXPECT_EQ(p.ToX(0), 2);
    EXPECT_EQ(p.ToX(1), 4);  // 400 / 200 = 2 pixels a step
    EXPECT_EQ(p.ToX(201), 404);
    EXPECT_EQ(p.ToPlotX(-10), 20);  // no margin added
    EXPECT_EQ(p.ToPlotX(10), 380);
    EXPECT_EQ(p.ToPlotY(1), 10);
    // Values far outside, or not numbers at all, stay at a finite distance from the image.
    EXPECT_LT(p.ToY(1e30), -1000);
    EXPECT_GT(p.ToY(-1e30), 1000);
    EXPECT_EQ(p.ToPlotY(std::nan("")), 200);
}

TEST(RenderTime, ValueGridOfRangeZeroToTen) {
    TGraphData g = Graph();
    g.YMin = 0;
    g.YMax = 10;
    TRecordingDevice device(300, 100);
    const TRecordingEngine& e = Render(device, g, 0);
    std::vector<QString> labels;
    for (const TRecordedText& t : e.Texts)
        if (t.text.startsWith(QLatin1String("    "))) labels.push_back(t.text);
    const std::vector<double> values = {-10,  -6.65, -3.35, 0,
                                        3.35, 6.65,  10,    0};  // the last is the zero line
    ASSERT_EQ(labels.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(labels[i], Expected("    %.3f  ", values[i]));

    // Seven dotted gray lines at the heights of those values, then the white zero line.
    std::vector<int> heights;
    for (const TRecordedLines& item : e.Lines)
        if (item.pen.style() == Qt::DotLine && item.lines.size() == 1 && item.lines[0].dy() == 0) {
            EXPECT_EQ(item.lines[0].x1(), 2);
            EXPECT_EQ(item.lines[0].x2(), 298);
            heights.push_back(static_cast<int>(item.lines[0].y1()));
            EXPECT_EQ(item.pen.color(), heights.size() <= 7 ? QColor(128, 128, 128) : QColor(255, 255, 255));
        }
    TGraphPainter map(g, 100, 300, 2);
    ASSERT_EQ(heights.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(heights[i], map.ToY(values[i]));
}

TEST(RenderTime, NoValueGridWithoutARange) {
    struct Case {
        double lo, hi;
    } cases[] = {{0, 0}, {TGraphData::EmptyMin, TGraphData::EmptyMax}, {5, 5}};
    for (const Case& c : cases) {
        TGraphData g = Graph();
        g.YMin = c.lo;
        g.YMax = c.hi;
        TRecordingDevice device(300, 100);
        const TRecordingEngine& e = Render(device, g, 0);
        for (const TRecordedText& t : e.Texts) EXPECT_FALSE(t.text.startsWith(QLatin1String("    "))) << c.lo;
        // The time ticks still run.
        EXPECT_EQ(e.Texts.size(), size_t(300 / 50 + 1)) << c.lo;
    }
}

TEST(RenderTime, ElevenTimeTicks) {
    TGraphData g = Graph();
    g.Window = 200;
    TRecordingDevice device(500, 120);
    const TRecordingEngine& e = Render(device, g, 0);
    const int ages[] = {0, 25, 25, 50, 75, 100, 100, 125, 150, 175, 175};
    std::vector<int> xs;
    for (const TRecordedLines& item : e.Lines)
        if (item.pen.style() == Qt::DotLine && item.lines.size() == 1 && item.lines[0].dx() == 0) {
            EXPECT_EQ(item.lines[0].y1(), 118);
            EXPECT_EQ(item.lines[0].y2(), 98);
            xs.push_back(static_cast<int>(item.lines[0].x1()));
        }
    ASSERT_EQ(xs.size(), 11u);
    ASSERT_EQ(e.Texts.size(), 11u);
    for (size_t i = 0; i < 11; ++i) {
        EXPECT_EQ(e.Texts[i].text, QString::asprintf(" %d ", ages[i]));
        // x = W - (t * W div Window + M), the tick M further left.
        EXPECT_EQ(xs[i], 500 - (ages[i] * 500 / 200 + 2) - 2) << i;
    }
    EXPECT_EQ(xs[0], 496);

    // Scrolled back 30 steps the ticks still name ages counted from the newest sample.
    g.Position = -30;
    TRecordingDevice back(500, 120);
    const TRecordingEngine& b = Render(back, g, 0);
    ASSERT_EQ(b.Texts.size(), 11u);
    EXPECT_EQ(b.Texts[0].text, QStringLiteral(" 25 "));  // round(30 / 25) * 25
}

TEST(RenderTime, TraceThinning) {
    struct Case {
        const char* name;
        bool jumping;
        size_t segments;
    } cases[] = {
        // x = j * 400 div 4096 + 2 for j = 1 .. 4085 (x <= 400; j = 0 has no sample): one vertex per
        // 2 pixels, at x = 2, 4 ... 400.
        {"flat", false, 199},
        // Every sample 0 / 100 apart: a vertex for each of the 4085 drawn samples.
        {"jumping", true, 4084},
    };
    for (const Case& c : cases) {
        TGraphData g = Graph();
        g.Window = 4096;
        g.YMin = 0;
        g.YMax = 100;
        TLoopBuf& b = g.Buffers[3];
        b.Visible = true;
        b.Color = QColor(0, 0, 255);
        for (int i = 0; i < 4096; ++i) b.Add(c.jumping ? (i % 2 ? 100.0f : 0.0f) : 50.0f);
        TRecordingDevice device(400, 200);
        const auto traces = Solid(Render(device, g, 0));
        ASSERT_EQ(traces.size(), 1u) << c.name;
        EXPECT_EQ(traces[0]->pen.color(), QColor(0, 0, 255));
        EXPECT_EQ(traces[0]->lines.size(), c.segments) << c.name;
        EXPECT_EQ(traces[0]->lines.front().x1(), 2) << c.name;
        EXPECT_LE(traces[0]->lines.back().x2(), 400) << c.name;
    }
}

TEST(RenderTime, FlatRangeDrawsAtHalfHeightAndHiddenChannelsNot) {
    TGraphData g = Graph();
    g.YMin = g.YMax = 7;
    g.Window = 20;
    g.Buffers[0].Visible = true;
    g.Buffers[0].Color = Qt::red;
    g.Buffers[1].Color = Qt::green;  // hidden
    for (int i = 0; i < 30; ++i) {
        g.Buffers[0].Add(static_cast<float>(i * 1000));
        g.Buffers[1].Add(1.0f);
    }
    TRecordingDevice device(200, 101);
    const auto traces = Solid(Render(device, g, 0));
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0]->pen.color(), QColor(Qt::red));
    for (const QLineF& l : traces[0]->lines) {
        EXPECT_EQ(l.y1(), 50);
        EXPECT_EQ(l.y2(), 50);
    }
}

TEST(RenderXY, PairsSkipZerosAndLeaveAnOddChannel) {
    TGraphData g = Graph();
    g.PlotXMin = g.PlotYMin = 0;
    g.PlotXMax = g.PlotYMax = 100;
    const float xs[] = {10, 20, 30, 40, 50, 60};
    const float ys[] = {15, 0, 35, 45, 0, 65};  // positions 1 and 4 are left out
    for (int i = 0; i < 6; ++i) {
        g.Buffers[2].Add(xs[i]);
        g.Buffers[5].Add(ys[i]);
        g.Buffers[9].Add(static_cast<float>(i + 1));
        g.Buffers[0].Add(1.0f);  // channel 0 sets how many samples are walked
    }
    g.Buffers[2].Visible = g.Buffers[5].Visible = g.Buffers[9].Visible = true;
    g.Buffers[5].Color = QColor(0, 128, 128);
    g.Buffers[2].Color = QColor(255, 0, 0);
    TRecordingDevice device(400, 200);
    const auto curves = Solid(Render(device, g, 2));
    ASSERT_EQ(curves.size(), 1u);  // channel 9 has no partner
    const TRecordedLines& curve = *curves[0];
    EXPECT_EQ(curve.pen.color(), QColor(0, 128, 128));
    EXPECT_EQ(curve.pen.width(), 2);
    TGraphPainter map(g, 200, 400, 2);
    const int kept[] = {0, 2, 3, 5};
    ASSERT_EQ(curve.lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(curve.lines[i].p1(), QPointF(map.ToPlotX(xs[kept[i]]), map.ToPlotY(ys[kept[i]])));
        EXPECT_EQ(curve.lines[i].p2(), QPointF(map.ToPlotX(xs[kept[i + 1]]), map.ToPlotY(ys[kept[i + 1]])));
    }
}

TEST(RenderXY, GridLabelsOnBothAxes) {
    TGraphData g = Graph();
    g.PlotXMin = 0;
    g.PlotXMax = 1000;
    g.PlotYMin = -50;
    g.PlotYMax = 50;
    TRecordingDevice device(400, 100);  // N = 3 for both axes
    const TRecordingEngine& e = Render(device, g, 2);
    std::vector<QString> texts;
    for (const TRecordedText& t : e.Texts) texts.push_back(t.text.trimmed());
    // Vertical values: step 50 over 100; horizontal: step 500 over 1000.
    const std::vector<QString> expected = {"-50", "0", "0", "50", "0", "500", "500", "1000"};
    EXPECT_EQ(texts.size(), expected.size());
    for (size_t i = 0; i < std::min(texts.size(), expected.size()); ++i)
        EXPECT_EQ(texts[i], expected[i]) << i;
}

TEST(RenderXY, NothingFromChannelsWithoutData) {
    TGraphData g = Graph();
    g.PlotXMin = g.PlotYMin = 0;
    g.PlotXMax = g.PlotYMax = 10;
    g.Buffers[0].Visible = g.Buffers[1].Visible = true;
    for (int i = 0; i < 50; ++i) g.Buffers[0].Add(static_cast<float>(i));  // channel 1 still all zero
    TRecordingDevice device(200, 200);
    EXPECT_TRUE(Solid(Render(device, g, 2)).empty());
}

TEST(Render, TracesGoStraightIntoAnImage) {
    TGraphData g = Graph();
    g.Window = 4096;
    g.YMin = 0;
    g.YMax = 100;
    // A trace leaving the image far above and below: clipped, not walked pixel by pixel.
    g.Buffers[0].Visible = true;
    g.Buffers[0].Color = QColor(255, 0, 255);
    for (int i = 0; i < 4096; ++i) g.Buffers[0].Add(i % 2 ? 3e38f : -3e38f);
    // Then a flat one, drawn over it.
    g.Buffers[1].Visible = true;
    g.Buffers[1].Color = QColor(0, 0, 255);
    for (int i = 0; i < 4096; ++i) g.Buffers[1].Add(50.0f);
    QImage image(400, 200, QImage::Format_RGB32);
    QPainter painter(&image);
    RenderTime(painter, g, 200, 400, 2);
    painter.end();
    const int y = TGraphPainter(g, 200, 400, 2).ToY(50);
    EXPECT_EQ(image.pixelColor(2, y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(201, y), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(400 - 1, y), QColor(0, 0, 255));
    EXPECT_NE(image.pixelColor(201, y + 1), QColor(0, 0, 255));
    EXPECT_EQ(image.pixelColor(2, 0), QColor(255, 0, 255));
    EXPECT_EQ(image.pixelColor(2, 199), QColor(255, 0, 255));
    EXPECT_EQ(image.pixelColor(1, 100), QColor(255, 255, 255));  // left of the first sample
}

TEST(Render, XYPenIsTwoPixelsWide) {
    TGraphData g = Graph();
    g.PlotXMin = g.PlotYMin = 0;
    g.PlotXMax = g.PlotYMax = 100;
    g.Buffers[0].Visible = g.Buffers[1].Visible = true;
    g.Buffers[1].Color = QColor(0, 128, 0);
    const float points[][2] = {{10, 33}, {90, 33}, {90, 95}};
    for (const auto& p : points) {
        g.Buffers[0].Add(p[0]);
        g.Buffers[1].Add(p[1]);
    }
    for (QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        QImage image(400, 200, format);
        QPainter painter(&image);
        RenderXY(painter, g, 200, 400, 2);
        painter.end();
        TGraphPainter map(g, 200, 400, 2);
        const int y = map.ToPlotY(33);
        const int x = map.ToPlotX(90);
        const QColor green(0, 128, 0);
        int rows = 0;
        for (int dy = -2; dy <= 2; ++dy) rows += image.pixelColor(200, y + dy) == green;
        int columns = 0;
        for (int dx = -2; dx <= 2; ++dx) columns += image.pixelColor(x + dx, 100) == green;
        EXPECT_EQ(rows, 2) << format;
        EXPECT_EQ(columns, 2) << format;
    }
}
