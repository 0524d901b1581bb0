#include "app/logo.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

QPixmap VekLogo() {
    constexpr int W = 280, H = 48;
    QPixmap pixmap(W, H);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient back(0, 0, 0, H);
    back.setColorAt(0, QColor(0x1d, 0x2b, 0x3a));
    back.setColorAt(1, QColor(0x0c, 0x14, 0x1d));
    p.setPen(Qt::NoPen);
    p.setBrush(back);
    p.drawRoundedRect(QRectF(0.5, 0.5, W - 1, H - 1), 7, 7);

    // Three phase currents of a motor, 120 degrees apart, as the mark on the left.
    const QColor phases[3] = {QColor(0xff, 0x8a, 0x1f), QColor(0x3f, 0xc1, 0xff), QColor(0x7d, 0xe0, 0x6c)};
    const QRectF mark(10, 8, 64, 32);
    for (int k = 0; k < 3; ++k) {
        QPainterPath wave;
        for (int x = 0; x <= 64; ++x) {
            const double angle = x / 64.0 * 2 * M_PI + k * 2 * M_PI / 3;
            const QPointF point(mark.left() + x, mark.center().y() - std::sin(angle) * mark.height() / 2);
            x == 0 ? wave.moveTo(point) : wave.lineTo(point);
        }
        p.setPen(QPen(phases[k], 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(wave);
    }

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
