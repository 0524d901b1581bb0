#include "telemetry/graphPaint.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

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

QString FormatLabel(const char* format, double v) {
    QString text = QString::asprintf(format, v + 0.0);  // + 0.0: no "-0" label
    const QString point = QLocale::system().decimalPoint();
    if (point != QStringLiteral(".")) text.replace(QLatin1Char('.'), point);
    return text;
}

QPen GridPen() {
    QPen pen(QColor(128, 128, 128), 1, Qt::DotLine);
    pen.setCosmetic(true);
    return pen;
}

QPen TracePen(const QColor& color, int width) {
    QPen pen(color, width, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    pen.setCosmetic(width <= 1);
    return pen;
}

// Solid 1- and 2-pixel lines written straight into a 32-bit image. The raster engine's cosmetic stroker
// costs about 10 ns a pixel and its wide pens go through the path stroker; a noisy trace of 4096 samples
// touches a few hundred thousand pixels.
class TRaster {
public:
    // The image a painter draws on, when its pixels may be written directly; nullptr otherwise.
    static QImage* Target(QPainter& canvas) {
        QPaintDevice* device = canvas.device();
        if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
        auto* image = static_cast<QImage*>(device);
        const QImage::Format format = image->format();
        if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
            format != QImage::Format_ARGB32_Premultiplied)
            return nullptr;
        if (!canvas.transform().isIdentity() || canvas.hasClipping() ||
            canvas.compositionMode() != QPainter::CompositionMode_SourceOver)
            return nullptr;
        return image;
    }

    TRaster(QImage& image, const QColor& color, int thickness)
        : bits_(image.bits()),
          stride_(image.bytesPerLine()),
          thickness_(thickness),
          xMax_(image.width() - thickness),
          yMax_(image.height() - thickness),
          pixel_(0xff000000u | (color.rgb() & 0x00ffffffu)) {}

    void Line(QPoint a, QPoint b) {
        double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y();
        if (xMax_ < 0 || yMax_ < 0 || !Clip(x0, y0, x1, y1)) return;
        Bresenham(static_cast<int>(std::lrint(x0)), static_cast<int>(std::lrint(y0)),
                  static_cast<int>(std::lrint(x1)), static_cast<int>(std::lrint(y1)));
    }

private:
    // Liang-Barsky: cuts the segment to the pixels the pen may cover; false when nothing is left.
    bool Clip(double& x0, double& y0, double& x1, double& y1) const {
        const double dx = x1 - x0, dy = y1 - y0;
        double t0 = 0.0, t1 = 1.0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0, xMax_ - x0, y0, yMax_ - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0) return false;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0.0) {
                if (t > t1) return false;
                t0 = std::max(t0, t);
            } else {
                if (t < t0) return false;
                t1 = std::min(t1, t);
            }
        }
        const double ox = x0, oy = y0;
        x0 = std::clamp(ox + t0 * dx, 0.0, static_cast<double>(xMax_));
        y0 = std::clamp(oy + t0 * dy, 0.0, static_cast<double>(yMax_));
        x1 = std::clamp(ox + t1 * dx, 0.0, static_cast<double>(xMax_));
        y1 = std::clamp(oy + t1 * dy, 0.0, static_cast<double>(yMax_));
        return true;
    }

    void Plot(int x, int y) {
        auto* row = reinterpret_cast<uint32_t*>(bits_ + static_cast<qsizetype>(y) * stride_);
        row[x] = pixel_;
        if (thickness_ == 2) {
            row[x + 1] = pixel_;
            auto* next = reinterpret_cast<uint32_t*>(bits_ + static_cast<qsizetype>(y + 1) * stride_);
            next[x] = pixel_;
            next[x + 1] = pixel_;
        }
    }

    void Bresenham(int x0, int y0, int x1, int y1) {
        const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
        const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
        int err = dx + dy;
        for (;;) {
            Plot(x0, y0);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
    }

    uchar* bits_;
    qsizetype stride_;
    int thickness_;
    int xMax_;
    int yMax_;
    uint32_t pixel_;
};

// The trace pen is solid: when the painter draws on a plain 32-bit image the segments go straight into
// its pixels, otherwise (another device, a test recorder) through the painter.
void DrawPolyline(QPainter& canvas, const QPolygon& points, const QColor& color, int width) {
    if (QImage* image = TRaster::Target(canvas)) {
        TRaster raster(*image, color, width);
        for (qsizetype i = 1; i < points.size(); ++i) raster.Line(points[i - 1], points[i]);
        return;
    }
    canvas.setPen(TracePen(color, width));
    if (width <= 1) {
        canvas.drawPolyline(points);
        return;
    }
    // A wide pen as separate segments: the raster engine draws those without the path stroker.
    std::vector<QLine> lines;
    lines.reserve(static_cast<size_t>(points.size()));
    for (qsizetype i = 1; i < points.size(); ++i) lines.emplace_back(points[i - 1], points[i]);
    canvas.drawLines(lines.data(), static_cast<int>(lines.size()));
}

bool HasRange(double lo, double hi) {
    return lo != hi && lo != TGraphData::EmptyMin && hi != TGraphData::EmptyMax;
}

}  // namespace

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

void TGraphPainter::Background(QPainter& Canvas) const {
    Canvas.setPen(QPen(QColor(0, 0, 0), 1));
    Canvas.setBrush(G.BackColor);
    Canvas.setBackground(G.BackColor);
    Canvas.drawRect(0, 0, W - 1, H - 1);
    Canvas.setBrush(Qt::NoBrush);
}

// A label with its top left corner at (x, y), on the background colour so that grid lines do not run
// through it.
void TGraphPainter::Label(QPainter& Canvas, int x, int y, const QString& text) const {
    const QPen pen = Canvas.pen();
    Canvas.setPen(Complement(G.BackColor));
    Canvas.setBackgroundMode(Qt::OpaqueMode);
    Canvas.drawText(x, y + Canvas.fontMetrics().ascent(), text);
    Canvas.setBackgroundMode(Qt::TransparentMode);
    Canvas.setPen(pen);
}

void TGraphPainter::RenderTime(QPainter& Canvas) const {
    RenderTimeGrid(Canvas);
    RenderTimeTraces(Canvas);
}

void TGraphPainter::RenderTimeGrid(QPainter& Canvas) const {
    Background(Canvas);

    if (HasRange(G.YMin, G.YMax) && ToY(G.YMax) != ToY(G.YMin)) {
        const int N = H / 40 + 1;
        const double r = G.YMax - G.YMin;
        const int s = ChooseStep(r, N);
        Canvas.setPen(GridPen());
        const double base = static_cast<double>(RoundToLong(G.YMin / s)) * s;
        for (int i = -N; i <= N; ++i) {
            const double v = base + static_cast<double>(RoundToLong(r * i / N * 100 / s)) * s / 100;
            const int y = ToY(v);
            Canvas.drawLine(M, y, W - M, y);
            Label(Canvas, 2 * M, y - 6, FormatLabel("    %.3f  ", v));
        }
        QPen zero = GridPen();
        zero.setColor(QColor(255, 255, 255));
        Canvas.setPen(zero);
        const int y0 = ToY(0.0);
        Canvas.drawLine(M, y0, W - M, y0);
        Label(Canvas, 2 * M, y0 - 6, FormatLabel("    %.3f  ", 0.0));
    }

    const int P = G.Position;
    if (2 * M < W && G.Window > 0) {
        const int N = W / 50 + 1;
        const int s = ChooseStep(G.Window, N);
        Canvas.setPen(GridPen());
        const QFontMetrics metrics = Canvas.fontMetrics();
        for (int i = 0; i < N; ++i) {
            const double steps = static_cast<double>(static_cast<long long>(G.Window) * i) / N - P;
            const int t = static_cast<int>(RoundToLong(steps / s) * s);
            const int x = W - ToX(P + t);
            Canvas.drawLine(x - M, H - M, x - M, H - M - 20);
            const QString text = QString::asprintf(" %d ", t);
            Label(Canvas, x - M - metrics.horizontalAdvance(text), H - 2 * M - metrics.height(), text);
        }
    }
}

void TGraphPainter::RenderTimeTraces(QPainter& Canvas) const {
    const int P = G.Position;
    // One polyline per channel, thinned to a vertex only after more than 1 pixel sideways or more
    // than 5 pixels up or down: a trace costs about as many segments as the plot is wide.
    QPolygon trace;
    trace.reserve(std::min(G.Window, 2 * W) + 2);
    for (const TLoopBuf& buffer : G.Buffers) {
        if (!buffer.Visible || G.Window <= 0) continue;
        trace.resize(0);
        const int count = buffer.GetCount();
        const int head = buffer.GetHead();
        const int capacity = buffer.Capacity;
        const bool flat = G.YMin == G.YMax;
        int lastX = 0;
        int lastY = 0;
        for (int j = 0; j <= G.Window; ++j) {
            const int x = static_cast<int>(static_cast<long long>(j) * W / G.Window) + M;
            if (x > W) continue;
            const int k = G.Window - j - P;
            if (k < 0 || count <= k) continue;
            const int y = flat ? H / 2 : ToY(buffer.Get((head - k % capacity + capacity) % capacity));
            if (trace.isEmpty() || std::abs(x - lastX) > 1 || std::abs(y - lastY) > 5) {
                trace.append(QPoint(x, y));
                lastX = x;
                lastY = y;
            }
        }
        if (trace.size() >= 2) DrawPolyline(Canvas, trace, buffer.Color, 1);
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
            Label(Canvas, 2 * M, y - 6, FormatLabel("    %.0f  ", v));
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
            Label(Canvas, x, M, FormatLabel("    %.0f  ", v));
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
