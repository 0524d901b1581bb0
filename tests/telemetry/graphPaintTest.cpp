// The painters through the images they draw, and the readout: value grid and zero line, ticks in sample
// steps and in seconds, "Fit each channel", XY pairs, wild samples, and what the mouse reads.
#include <gtest/gtest.h>

#include <QLocale>
#include <QPainter>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "telemetry/graphPaint.h"
#include "telemetry/graphReadout.h"

namespace {

TGraphData Graph(double lo, double hi, int window = 200) {
    TGraphData g;
    g.Buffers.assign(TGraphData::ChannelCount, TLoopBuf());
    g.BackColor = Qt::white;
    g.YMin = g.PlotXMin = g.PlotYMin = lo;
    g.YMax = g.PlotXMax = g.PlotYMax = hi;
    g.Window = window;
    return g;
}

TLoopBuf& Show(TGraphData& g, int index, const QColor& color, const char* name = "c", double scale = 1) {
    TLoopBuf& b = g.Buffers[static_cast<size_t>(index)];
    std::tie(b.Visible, b.Color, b.Name, b.Scale) = std::tuple(true, color, QString::fromLatin1(name), scale);
    return b;
}

QImage Paint(const TGraphData& g, int W, int H, bool xy = false) {
    QImage image(W, H, QImage::Format_RGB32);
    QPainter painter(&image);
    xy ? TGraphPainter(g, H, W, 2).RenderXY(painter) : TGraphPainter(g, H, W, 2).RenderTime(painter);
    return image;
}

// The rows (or columns) of `area` holding at least `least` pixels of a colour.
std::set<int> Lines(const QImage& image, const QRect& area, const QColor& color, int least,
                    bool columns = false) {
    std::map<int, int> count;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count[columns ? x : y] += image.pixelColor(x, y) == color;
    std::set<int> found;
    for (const auto& [at, n] : count)
        if (n >= least) found.insert(at);
    return found;
}

}  // namespace

TEST(GraphPaint, ValueGridZeroLineAndTicks) {
    TGraphData g = Graph(0, 10);
    const QImage image = Paint(g, 500, 100);
    const QColor grey(128, 128, 128);
    // Grid lines at -10, -6.65 ... 10 (multiples of 5 / 100 around the range): those within the paper at
    // rows 5, 35 and 65; the zero line over the one at row 95 in the labels' colour, seen on white paper.
    const QRect right(250, 1, 240, 98);  // right of the labels, inside the outline
    EXPECT_EQ(Lines(image, right, grey, 40), std::set<int>({5, 35, 65}));
    EXPECT_EQ(Lines(image, right, Qt::black, 40), std::set<int>({TGraphPainter(g, 100, 500, 2).ToY(0)}));
    // Eleven ticks aged 0, 25, 25, 50 ... 175 sample steps, each at W - (age * W div Window + M) - M.
    std::set<int> columns;
    for (int age = 0; age <= 175; age += 25) columns.insert(500 - (age * 500 / 200 + 2) - 2);
    EXPECT_EQ(Lines(image, QRect(0, 78, 500, 21), grey, 5, true), columns);

    // 33 samples a second: one second back lies a third of the way from the sample 0.99 s old (34 steps
    // back, at x = 166 * 500 / 200 + 2 = 417) to the one 1.02 s old (at 414): the tick of 1 s at 416.
    const auto secondTicks = [&](int samples, double step) {  // the columns of the ticks in seconds
        g = Graph(0, 0);
        g.Seconds = true;
        for (int i = 0; i <= samples; ++i) Show(g, 0, Qt::red).Add(1.0f, 100 + i * step);
        return Lines(Paint(g, 500, 120), QRect(0, 98, 500, 21), grey, 5, true);
    };
    const std::set<int> ticks = secondTicks(200, 0.03);
    EXPECT_TRUE(ticks.size() == 6 && ticks.count(499) && ticks.count(416));  // 0 .. 5 s

    // Two seconds of samples fill a fifth of the plot: ticks as far apart as the labels need, not ten.
    const std::set<int> few = secondTicks(40, 0.05);
    ASSERT_GE(few.size(), 1u);
    for (auto a = few.begin(), b = std::next(a); b != few.end(); ++a, ++b) EXPECT_GE(*b - *a, 50);
}

TEST(GraphPaint, FitEachChannelMapsItsRangeToThePlotEdges) {
    TGraphData g = Graph(0, 1000);
    g.FitEach = true;
    const QColor colors[] = {Qt::red, Qt::blue, Qt::darkGreen};
    for (int i = 0; i < 300; ++i) {
        Show(g, 0, colors[0], "Speed (rpm)").Add(static_cast<float>(100 + i % 50));
        Show(g, 1, colors[1], "Current (A)", 0.1).Add(static_cast<float>(i % 11 - 5));
        Show(g, 2, colors[2], "Input PC").Add(7.0f);
    }
    const QImage image = Paint(g, 400, 200);
    for (int c = 0; c < 3; ++c) {
        // Right of the labels: min and max at 200 - round(0.05 * 200) and 200 - round(0.95 * 200), a flat
        // channel in the middle; the labels of each range at the left, in the channel's colour.
        const std::set<int> rows = Lines(image, QRect(150, 0, 250, 200), colors[c], 1);
        EXPECT_EQ(std::pair(*rows.begin(), *rows.rbegin()), c < 2 ? std::pair(10, 190) : std::pair(100, 100))
            << c;
        EXPECT_FALSE(Lines(image, QRect(0, 0, 100, 200), colors[c], 1).empty()) << c;
    }
}

TEST(GraphPaint, XYPairsAndTheReadoutUnderTheMouse) {
    TGraphData g = Graph(0, 100);
    const float xs[] = {10, 20, 30, 40, 50, 60}, ys[] = {15, 0, 35, 45, 0, 65};  // 1 and 4 are left out
    for (int i = 0; i < 6; ++i) {
        Show(g, 0, Qt::red, "Current (A)", 0.1).Add(xs[i], i * 0.05);  // channel 0 sets how many are walked
        Show(g, 5, Qt::darkCyan, "Voltage (V)", 0.1).Add(ys[i], i * 0.05);
        Show(g, 9, Qt::blue).Add(1.0f);  // no partner: no curve
    }
    const QImage image = Paint(g, 400, 200, true);
    const TGraphPainter map(g, 200, 400, 2);
    // Straight from (10, 15) to (30, 35): the point between them lies on the curve.
    for (const auto& [x, y] : {std::pair{20.0, 25.0}, {30.0, 35.0}, {60.0, 65.0}})
        EXPECT_EQ(image.pixelColor(map.ToPlotX(x), map.ToPlotY(y)), QColor(Qt::darkCyan)) << x;
    EXPECT_TRUE(Lines(image, image.rect(), Qt::blue, 1).empty());
    const auto readout = [&](uint8_t mode, QPoint p) {
        QStringList lines;
        for (const TReadoutLine& l : ReadoutAt(g, mode, 200, 400, 2, p).Lines) lines << l.Text;
        return lines.replaceInStrings(QLocale::system().decimalPoint(), ".");
    };
    // The middle of the XY plot reads the middle of both ranges for the pair.
    EXPECT_EQ(readout(2, {200, 100}), QStringList({"Current (A): 5.0", "Voltage (V): 5.0"}));
    // In the time plot, 3 steps back from the newest sample is drawn at x = 197 * 400 / 200 + 2 = 396.
    g.Buffers[9].Visible = false;
    EXPECT_EQ(readout(0, {396, 50}), QStringList({"0.10 s ago", "Current (A): 4.0", "Voltage (V): 4.5"}));
}

TEST(GraphPaint, WildSamplesAreClippedToTheImage) {
    TGraphData g = Graph(0, 100, 4096);
    // A trace leaving the image far above and below (and one NaN), over 4100 samples: the rings wrap.
    for (int i = 0; i < 4100; ++i) {
        Show(g, 0, Qt::magenta).Add(i == 7 ? std::nanf("") : i % 2 ? 3e38f : -3e38f);
        Show(g, 1, Qt::blue).Add(50.0f);
    }
    const QImage image = Paint(g, 400, 200);
    EXPECT_EQ(Lines(image, image.rect(), Qt::blue, 300),
              std::set<int>({TGraphPainter(g, 200, 400, 2).ToY(50)}));
    EXPECT_EQ(image.pixelColor(2, 0), QColor(Qt::magenta));
    EXPECT_EQ(image.pixelColor(2, 199), QColor(Qt::magenta));
    EXPECT_EQ(image.pixelColor(1, 100), QColor(Qt::white));  // left of the first sample
}
