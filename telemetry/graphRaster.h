// Solid trace lines for the painters: straight into the pixels of a 32-bit image, through the painter on
// any other device.
#pragma once

class QColor;
class QPainter;
class QPolygon;

// The trace pen is solid: when the painter draws on a plain 32-bit image the segments go straight into
// its pixels, otherwise (another device, a test recorder) through the painter.
void DrawPolyline(QPainter& canvas, const QPolygon& points, const QColor& color, int width);
