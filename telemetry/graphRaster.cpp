#include "telemetry/graphRaster.h"

#include <QImage>
#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

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
        if (Inside(a) && Inside(b)) {  // nearly every segment of a trace
            Bresenham(a.x(), a.y(), b.x(), b.y());
            return;
        }
        double x0 = a.x(), y0 = a.y(), x1 = b.x(), y1 = b.y();
        if (xMax_ < 0 || yMax_ < 0 || !Clip(x0, y0, x1, y1)) return;
        Bresenham(static_cast<int>(std::lrint(x0)), static_cast<int>(std::lrint(y0)),
                  static_cast<int>(std::lrint(x1)), static_cast<int>(std::lrint(y1)));
    }

private:
    bool Inside(QPoint p) const { return p.x() >= 0 && p.x() <= xMax_ && p.y() >= 0 && p.y() <= yMax_; }

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

}  // namespace

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
