// The readout under the mouse: for the time plot the sample under the cursor of every visible channel
// (value in its unit, age in seconds); for the XY plot the values of each pair at the cursor.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

struct TGraphData;
class QFontMetrics;
class QPainter;

struct TReadoutLine {
    QColor Color;  // the channel's swatch; none for the heading
    QString Text;
};

struct TReadout {
    bool Valid = false;
    int X = 0;   // the cursor's column in image pixels
    int Y = -1;  // the XY plot's cursor row; -1 in the time plot
    std::vector<TReadoutLine> Lines;
};

// What the plot (mode 0 time, 2 XY) of an image W x H with margin M shows at p (image pixels).
TReadout ReadoutAt(const TGraphData& G, uint8_t plotMode, int H, int W, int M, QPoint p);

// Draws the cursor and the box of lines beside it on a surface of `size` whose pixels are image pixels
// divided by `scale`; ReadoutCover tells what that covers.
void PaintReadout(QPainter& canvas, const TReadout& readout, double scale, const QSize& size,
                  const QColor& back);
QRect ReadoutCover(const TReadout& readout, double scale, const QSize& size, const QFontMetrics& metrics);
