#include "telemetry/graphPaint.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "controls/CalcAI.h"
#include "telemetry/graphRaster.h"
#include "telemetry/statusChannels.h"

namespace {

// Pixel coordinate of a computed position: halves to even, and far outside the image a safe
// distance off it (a channel may carry any float, NaN included).
int Pixel(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::lrint(std::clamp(v, -1.0e6, 1.0e6)));
}

long long RoundToLong(double v) {
    if (std::isnan(v)) return 0;
    return std::llrint(std::clamp(v, -9.0e15, 9.0e15));
}

QColor Complement(const QColor& c) {
    return QColor(255 - c.red(), 255 - c.green(), 255 - c.blue());
}

// The decimal point the number fields use (looked up once, settable in tests).
QChar Point() {
    return TCalcAI::DecimalSeparator();
}

QString FormatLabel(const char* format, double v) {
    QString text = QString::asprintf(format, v + 0.0);  // + 0.0: no "-0" label
    if (Point() != QLatin1Char('.')) text.replace(QLatin1Char('.'), Point());
    return text;
}

QPen GridPen() {
    QPen pen(QColor(128, 128, 128), 1, Qt::DotLine);
    pen.setCosmetic(true);
    return pen;
}

bool HasRange(double lo, double hi) {
    return lo != hi && lo != TGraphData::EmptyMin && hi != TGraphData::EmptyMax;
}

// The unit of a channel name such as "Voltage (V)"; empty without one.
QString UnitOf(const QString& name) {
    const qsizetype open = name.lastIndexOf(QLatin1Char('('));
    if (open < 0 || !name.endsWith(QLatin1Char(')'))) return QString();
    return name.mid(open + 1, name.size() - open - 2);
}

// The fractions of the middle 90 % at which "Fit each channel" draws its guide lines.
constexpr double FitGuides[] = {0.0, 0.25, 0.5, 0.75, 1.0};

}  // namespace

void TDirtyBands::Reset(int W, int H) {
    w_ = std::max(W, 0);
    h_ = std::max(H, 0);
    bands_.resize(static_cast<size_t>((h_ + Band - 1) / Band));
    for (auto& band : bands_) band.clear();
}

void TDirtyBands::Add(int x0, int y0, int x1, int y1) {
    // One pixel more on every side: the pen's own width.
    x0 = std::max(std::min(x0, x1) - 1, 0);
    x1 = std::min(std::max(x0, x1) + 1, w_ - 1);
    const int top = std::max(std::min(y0, y1) - 1, 0);
    const int bottom = std::min(std::max(y0, y1) + 1, h_ - 1);
    if (x0 > x1 || top > bottom) return;
    for (int b = top / Band; b <= bottom / Band; ++b) {
        // A trace adds its segments left to right: most of them join the span before.
        auto& band = bands_[static_cast<size_t>(b)];
        if (!band.empty() && x0 <= band.back().second + Gap && x1 >= band.back().first - Gap) {
            band.back().first = std::min(band.back().first, x0);
            band.back().second = std::max(band.back().second, x1);
        } else {
            band.emplace_back(x0, x1);
        }
    }
}

void TDirtyBands::Add(const TDirtyBands& other) {
    if (other.bands_.size() != bands_.size()) return;
    for (size_t b = 0; b < bands_.size(); ++b)
        bands_[b].insert(bands_[b].end(), other.bands_[b].begin(), other.bands_[b].end());
}

bool TDirtyBands::Empty() const {
    return std::all_of(bands_.begin(), bands_.end(), [](const auto& band) { return band.empty(); });
}

std::vector<QRect> TDirtyBands::Rects(const TDirtyBands* also) const {
    std::vector<QRect> rects;
    if (also && also->bands_.size() != bands_.size()) also = nullptr;
    for (size_t b = 0; b < bands_.size(); ++b) {
        spans_.assign(bands_[b].begin(), bands_[b].end());
        if (also) spans_.insert(spans_.end(), also->bands_[b].begin(), also->bands_[b].end());
        if (spans_.empty()) continue;
        std::sort(spans_.begin(), spans_.end());
        const int top = static_cast<int>(b) * Band;
        const int bottom = std::min(top + Band, h_) - 1;
        std::pair<int, int> span = spans_.front();
        for (const auto& next : spans_) {
            if (next.first <= span.second + Gap) {
                span.second = std::max(span.second, next.second);
                continue;
            }
            rects.emplace_back(QPoint(span.first, top), QPoint(span.second, bottom));
            span = next;
        }
        rects.emplace_back(QPoint(span.first, top), QPoint(span.second, bottom));
    }
    return rects;
}

int ChooseStep(double Range, int N) {
    static const int ladder[] = {1, 2, 5, 10, 25, 50, 100, 250, 500, 1000};
    for (int d : ladder)
        if (N > Range / d) return d;
    return 2000;
}

int TGraphPainter::ToY(double v) const {
    return H - Pixel((v - G.YMin) / (G.YMax - G.YMin) * H * 0.9 + H * 0.05);
}

int TGraphPainter::ToX(int s) const {
    if (G.Window == 0) return M;
    return static_cast<int>(static_cast<long long>(s) * W / G.Window) + M;
}

int TGraphPainter::ToPlotX(double v) const {
    return Pixel((v - G.PlotXMin) / (G.PlotXMax - G.PlotXMin) * W * 0.9 + W * 0.05);
}

int TGraphPainter::ToPlotY(double v) const {
    return H - Pixel((v - G.PlotYMin) / (G.PlotYMax - G.PlotYMin) * H * 0.9 + H * 0.05);
}

int TGraphPainter::FitToY(double v, double lo, double hi) const {
    if (!(lo < hi)) return H / 2;
    return H - Pixel((v - lo) / (hi - lo) * H * 0.9 + H * 0.05);
}

template <typename F>
void TGraphPainter::ForEachStep(const TLoopBuf& buffer, F f) const {
    if (G.Window <= 0 || buffer.Capacity <= 0 || W < 0) return;
    const int count = buffer.GetCount();
    const int capacity = buffer.Capacity;
    // The storage slot of step j and its column j * W div Window + M, kept by stepping instead of
    // dividing for every sample: j * W = q * Window + r.
    int slot = ((buffer.GetHead() - (G.Window - G.Position)) % capacity + capacity) % capacity;
    const int whole = W / G.Window, part = W % G.Window;
    for (int j = 0, q = 0, r = 0; j <= G.Window && q + M <= W; ++j) {
        const int k = G.Window - j - G.Position;
        if (k >= 1 && count > k) f(q + M, k, buffer.Samples[static_cast<size_t>(slot)]);
        slot = slot + 1 == capacity ? 0 : slot + 1;
        q += whole;
        r += part;
        if (r >= G.Window) {
            r -= G.Window;
            ++q;
        }
    }
}

std::pair<double, double> TGraphPainter::FitRange(const TLoopBuf& buffer) const {
    double lo = TGraphData::EmptyMin, hi = TGraphData::EmptyMax;
    ForEachStep(buffer, [&](int, int, double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    });
    return {lo, hi};
}

std::pair<double, double> TGraphPainter::FitRangeOf(size_t c) const {
    if (fitRanges_.empty()) {
        fitRanges_.assign(G.Buffers.size(), {TGraphData::EmptyMin, TGraphData::EmptyMax});
        for (size_t i = 0; i < G.Buffers.size(); ++i)
            if (G.Buffers[i].Visible) fitRanges_[i] = FitRange(G.Buffers[i]);
    }
    return fitRanges_[c];
}

int TGraphPainter::StepsAt(int x, int* drawnX) const {
    if (G.Window <= 0 || W <= 0) return 0;
    int j = std::clamp(static_cast<int>(std::lrint(static_cast<double>(x - M) * G.Window / W)), 0, G.Window);
    while (j > 0 && ToX(j) > W) --j;
    const int k = G.Window - j - G.Position;
    if (k < 1) return 0;
    if (drawnX) *drawnX = ToX(j);
    return k;
}

void TGraphPainter::Background(QPainter& Canvas) const {
    Canvas.setPen(QPen(QColor(0, 0, 0), 1));
    Canvas.setBrush(G.BackColor);
    Canvas.drawRect(0, 0, W - 1, H - 1);
    Canvas.setBrush(Qt::NoBrush);
}

// A label with its top left corner at (x, y), on the background colour so that grid lines do not run
// through it; returns where it was drawn.
QRect TGraphPainter::Label(QPainter& Canvas, int x, int y, const QString& text, const QColor& color) const {
    const QPen pen = Canvas.pen();
    const QFontMetrics metrics = Canvas.fontMetrics();
    Canvas.setPen(color);
    Canvas.setBackground(G.BackColor);
    Canvas.setBackgroundMode(Qt::OpaqueMode);
    Canvas.drawText(x, y + metrics.ascent(), text);
    Canvas.setBackgroundMode(Qt::TransparentMode);
    Canvas.setPen(pen);
    return QRect(x, y, metrics.horizontalAdvance(text), metrics.height());
}

void TGraphPainter::RenderTime(QPainter& Canvas) const {
    RenderTimeGrid(Canvas);
    RenderTimeTraces(Canvas);
}

void TGraphPainter::RenderTimeGrid(QPainter& Canvas) const {
    Background(Canvas);
    const QColor text = Complement(G.BackColor);

    if (G.FitEach) {
        Canvas.setPen(GridPen());
        for (double f : FitGuides) {
            const int y = H - Pixel(f * H * 0.9 + H * 0.05);
            Canvas.drawLine(M, y, W - M, y);
        }
    } else if (HasRange(G.YMin, G.YMax) && ToY(G.YMax) != ToY(G.YMin)) {
        const int N = H / 40 + 1;
        const double r = G.YMax - G.YMin;
        const int s = ChooseStep(r, N);
        Canvas.setPen(GridPen());
        const double base = static_cast<double>(RoundToLong(G.YMin / s)) * s;
        for (int i = -N; i <= N; ++i) {
            const double v = base + static_cast<double>(RoundToLong(r * i / N * 100 / s)) * s / 100;
            const int y = ToY(v);
            Canvas.drawLine(M, y, W - M, y);
            Label(Canvas, 2 * M, y - 6, FormatLabel("    %.3f  ", v), text);
        }
        // The zero line in the labels' colour: white on black, black on white, never lost on the paper.
        QPen zero = GridPen();
        zero.setColor(text);
        Canvas.setPen(zero);
        const int y0 = ToY(0.0);
        Canvas.drawLine(M, y0, W - M, y0);
        Label(Canvas, 2 * M, y0 - 6, FormatLabel("    %.3f  ", 0.0), text);
    }

    const int P = G.Position;
    if (!G.Seconds && 2 * M < W && G.Window > 0) {
        const int N = W / 50 + 1;
        const int s = ChooseStep(G.Window, N);
        Canvas.setPen(GridPen());
        const QFontMetrics metrics = Canvas.fontMetrics();
        for (int i = 0; i < N; ++i) {
            const double steps = static_cast<double>(static_cast<long long>(G.Window) * i) / N - P;
            const int t = static_cast<int>(RoundToLong(steps / s) * s);
            const int x = W - ToX(P + t);
            Canvas.drawLine(x - M, H - M, x - M, H - M - 20);
            const QString label = QString::asprintf(" %d ", t);
            Label(Canvas, x - M - metrics.horizontalAdvance(label), H - 2 * M - metrics.height(), label,
                  text);
        }
    }
}

std::vector<QPolygon> TGraphPainter::TimeTraces() const {
    // One polyline per channel, thinned to a vertex only after more than 1 pixel sideways or more
    // than 5 pixels up or down: a trace costs about as many segments as the plot is wide.
    std::vector<QPolygon> traces(G.Buffers.size());
    const bool flat = G.YMin == G.YMax;
    for (size_t c = 0; c < G.Buffers.size(); ++c) {
        const TLoopBuf& buffer = G.Buffers[c];
        if (!buffer.Visible) continue;
        const std::pair<double, double> range = G.FitEach ? FitRangeOf(c) : std::pair<double, double>();
        const double lo = range.first, hi = range.second;  // (a lambda cannot capture a structured binding)
        QPolygon& trace = traces[c];
        trace.reserve(std::min(G.Window, 2 * W) + 2);
        int lastX = 0, lastY = 0;
        ForEachStep(buffer, [&](int x, int, double v) {
            const int y = G.FitEach ? FitToY(v, lo, hi) : flat ? H / 2 : ToY(v);
            if (trace.isEmpty() || std::abs(x - lastX) > 1 || std::abs(y - lastY) > 5) {
                trace.append(QPoint(x, y));
                lastX = x;
                lastY = y;
            }
        });
        if (trace.size() < 2) trace.clear();
    }
    return traces;
}

void TGraphPainter::DrawTimeTraces(QPainter& Canvas, const std::vector<QPolygon>& traces) const {
    for (size_t c = 0; c < traces.size() && c < G.Buffers.size(); ++c)
        if (!traces[c].isEmpty()) DrawPolyline(Canvas, traces[c], G.Buffers[c].Color, 1);
}

void TGraphPainter::RenderTimeTraces(QPainter& Canvas, TDirtyBands* dirty) const {
    DrawTimeTraces(Canvas, TimeTraces());
    RenderTimeLabels(Canvas, dirty);
}

void TGraphPainter::RenderTimeLabels(QPainter& Canvas, TDirtyBands* dirty) const {
    if (G.Seconds) SecondsTicks(Canvas, dirty);
    if (G.FitEach) FitLabels(Canvas, dirty);
}

void TDirtyBands::Add(const QPolygon& trace) {
    for (qsizetype i = 1; i < trace.size(); ++i)
        Add(trace[i - 1].x(), trace[i - 1].y(), trace[i].x(), trace[i].y());
}

// Ticks at round ages in seconds, counted back from the newest sample: each stands where the sample of
// that age is drawn, interpolated between the two samples around it.
void TGraphPainter::SecondsTicks(QPainter& Canvas, TDirtyBands* dirty) const {
    const TLoopBuf* timed = nullptr;
    for (const TLoopBuf& buffer : G.Buffers)
        if (buffer.Visible && buffer.GetCount() > 1 && !buffer.Times.empty()) {
            timed = &buffer;
            break;
        }
    if (timed == nullptr || 2 * M >= W) return;
    const double newest = timed->TimeBack(1);
    std::vector<std::pair<double, double>> ages;  // (age, x), oldest first
    ForEachStep(*timed, [&](int x, int k, double) { ages.emplace_back(newest - timed->TimeBack(k), x); });
    if (ages.size() < 2 || !(ages.front().first > ages.back().first)) return;
    static const double ladder[] = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    const QFontMetrics metrics = Canvas.fontMetrics();
    // Ticks are spaced by the pixels a second takes where the samples are drawn (a buffer not yet full
    // fills only the right part of the plot), wide enough that their labels never overlap.
    const int gap = std::max(50, metrics.horizontalAdvance(QStringLiteral(" 8888.8 s ")));
    const double span = ages.front().first - ages.back().first;
    const double perSecond = (ages.back().second - ages.front().second) / span;
    double s = ladder[std::size(ladder) - 1];
    for (double d : ladder)
        if (d * perSecond >= gap) {
            s = d;
            break;
        }
    const int N = W / gap + 1;
    const QColor text = Complement(G.BackColor);
    Canvas.setPen(GridPen());
    const auto first = static_cast<long long>(std::ceil(ages.back().first / s - 1e-9));
    const auto last = static_cast<long long>(std::floor(ages.front().first / s + 1e-9));
    for (long long m = first; m <= last && m - first <= 2 * N; ++m) {
        const double age = static_cast<double>(m) * s;
        // The first sample no older than the age, and the one before it (older): x between the two.
        const auto at =
            std::partition_point(ages.begin(), ages.end(), [&](const auto& a) { return a.first > age; });
        if (at == ages.end()) break;
        double x = at->second;
        if (at != ages.begin() && (at - 1)->first != at->first)
            x += (age - at->first) / ((at - 1)->first - at->first) * ((at - 1)->second - at->second);
        const int px = Pixel(x);
        Canvas.drawLine(px, H - M, px, H - M - 20);
        QString label = QStringLiteral(" %1 s ").arg(QString::number(age, 'g', 6));
        label.replace(QLatin1Char('.'), Point());
        const QRect drawn =
            Label(Canvas, px - metrics.horizontalAdvance(label), H - 2 * M - metrics.height(), label, text);
        if (dirty) {
            dirty->Add(px, H - M, px, H - M - 20);
            dirty->Add(drawn);
        }
    }
}

// The range of every channel in "Fit each channel": the largest values stacked at the top left, the
// smallest at the bottom left, each in its channel's colour and unit.
void TGraphPainter::FitLabels(QPainter& Canvas, TDirtyBands* dirty) const {
    const int line = Canvas.fontMetrics().height();
    int top = 2 * M;
    int bottom = H - 2 * M - 22 - line;
    for (size_t c = 0; c < G.Buffers.size(); ++c) {
        const TLoopBuf& buffer = G.Buffers[c];
        if (!buffer.Visible) continue;
        const auto [lo, hi] = FitRangeOf(c);
        if (lo > hi) continue;
        const QString unit = UnitOf(buffer.Name);
        const QString suffix = unit.isEmpty() ? QString() : QLatin1Char(' ') + unit;
        const QRect high =
            Label(Canvas, 2 * M, top, ScaledText(hi, buffer.Scale, Point()) + suffix, buffer.Color);
        const QRect low =
            Label(Canvas, 2 * M, bottom, ScaledText(lo, buffer.Scale, Point()) + suffix, buffer.Color);
        if (dirty) {
            dirty->Add(high);
            dirty->Add(low);
        }
        top += line;
        bottom -= line;
    }
}

void TGraphPainter::RenderXY(QPainter& Canvas) const {
    Background(Canvas);
    const int N = H / 40 + 1;

    if (HasRange(G.PlotYMin, G.PlotYMax) && ToPlotY(G.PlotYMax) != ToPlotY(G.PlotYMin)) {
        const double r = G.PlotYMax - G.PlotYMin;
        const int s = ChooseStep(r, N);
        Canvas.setPen(GridPen());
        for (int i = 0; i <= N; ++i) {
            const double v = static_cast<double>(RoundToLong((r * i / N + G.PlotYMin) / s)) * s;
            const int y = ToPlotY(v);
            Canvas.drawLine(M, y, W - M, y);
            Label(Canvas, 2 * M, y - 6, FormatLabel("    %.0f  ", v), Complement(G.BackColor));
        }
    }
    if (HasRange(G.PlotXMin, G.PlotXMax) && ToPlotX(G.PlotXMax) != ToPlotX(G.PlotXMin)) {
        const double r = G.PlotXMax - G.PlotXMin;
        const int s = ChooseStep(r, N);
        Canvas.setPen(GridPen());
        for (int i = 0; i <= N; ++i) {
            const double v = static_cast<double>(RoundToLong((r * i / N + G.PlotXMin) / s)) * s;
            const int x = ToPlotX(v);
            Canvas.drawLine(x, M, x, H - M);
            Label(Canvas, x, M, FormatLabel("    %.0f  ", v), Complement(G.BackColor));
        }
    }

    if (G.Buffers.empty()) return;
    const int n = G.Buffers[0].GetCount();
    const TLoopBuf* horizontal = nullptr;
    QPolygon curve;
    curve.reserve(n);
    for (const TLoopBuf& buffer : G.Buffers) {
        if (!buffer.Visible) continue;
        if (horizontal == nullptr) {
            horizontal = &buffer;
            continue;
        }
        curve.resize(0);
        for (int j = 0; j < n; ++j) {
            const double xv = horizontal->Get(j);
            const double yv = buffer.Get(j);
            if (xv == 0.0 || yv == 0.0) continue;
            curve.append(QPoint(ToPlotX(xv), ToPlotY(yv)));
        }
        if (curve.size() >= 2) DrawPolyline(Canvas, curve, buffer.Color, 2);
        horizontal = nullptr;
    }
}
