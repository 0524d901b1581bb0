#include "app/logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {
// Three phase currents of a motor, 120 degrees apart, one period across `mark`: the program's mark.
void PaintPhases(QPainter& p, const QRectF& mark, double penWidth) {
    const QColor phases[3] = {QColor(0xff, 0x8a, 0x1f), QColor(0x3f, 0xc1, 0xff), QColor(0x7d, 0xe0, 0x6c)};
    constexpr int Steps = 64;
    for (int k = 0; k < 3; ++k) {
        QPainterPath wave;
        for (int x = 0; x <= Steps; ++x) {
            const double angle = x * 2 * M_PI / Steps + k * 2 * M_PI / 3;
            const QPointF point(mark.left() + x * mark.width() / Steps,
                                mark.center().y() - std::sin(angle) * mark.height() / 2);
            x == 0 ? wave.moveTo(point) : wave.lineTo(point);
        }
        p.setPen(QPen(phases[k], penWidth, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }
}

void PaintBackdrop(QPainter& p, const QRectF& area, double radius) {
    QLinearGradient back(0, area.top(), 0, area.bottom());
    back.setColorAt(0, QColor(0x1d, 0x2b, 0x3a));
    back.setColorAt(1, QColor(0x0c, 0x14, 0x1d));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(area, radius, radius);
}
}  // namespace

QIcon VekIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        // The same geometry as packaging/vektool.svg, the icon of the desktop entry.
        const double s = size / 256.0;
        PaintBackdrop(p, QRectF(8 * s, 8 * s, 240 * s, 240 * s), 44 * s);
        PaintPhases(p, QRectF(40 * s, 68 * s, 176 * s, 120 * s), std::max(1.5, 14 * s));
        icon.addPixmap(pixmap);
    }
    return icon;
}

QPixmap VekLogo() {
    constexpr int W = 280, H = 48;
    QPixmap pixmap(W, H);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    PaintBackdrop(p, QRectF(0.5, 0.5, W - 1, H - 1), 7);
    PaintPhases(p, QRectF(10, 8, 64, 32), 2.2);

    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(24);
    title.setBold(true);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    p.setFont(title);
    p.setPen(QColor(0xf2, 0xf5, 0xf8));
    p.drawText(QRectF(86, 3, W - 92, 28), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("VEK TOOL"));

    QFont line(QStringLiteral("Sans Serif"));
    line.setPixelSize(11);
    p.setFont(line);
    p.setPen(QColor(0x9f, 0xb3, 0xc6));
    p.drawText(QRectF(87, 29, W - 92, 15), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("brushless motor controllers"));
    return pixmap;
}
