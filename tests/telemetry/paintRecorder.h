// A paint device that records what is drawn on it instead of drawing: lines, polylines and texts, so
// that tests count segments and read labels exactly.
#pragma once

#include <QColor>
#include <QLine>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QString>
#include <QTextItem>
#include <vector>

struct TRecordedText {
    QPointF baseline;
    QString text;
};

struct TRecordedLines {
    QPen pen;
    std::vector<QLineF> lines;  // polylines are stored as their segments
    bool polyline = false;
};

class TRecordingEngine : public QPaintEngine {
public:
    TRecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState& state) override {
        if (state.state() & QPaintEngine::DirtyPen) pen = state.pen();
    }
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawLines(const QLineF* lines, int count) override {
        TRecordedLines item{pen, std::vector<QLineF>(lines, lines + count), false};
        Lines.push_back(item);
    }
    void drawLines(const QLine* lines, int count) override {
        TRecordedLines item{pen, {}, false};
        for (int i = 0; i < count; ++i) item.lines.emplace_back(lines[i]);
        Lines.push_back(item);
    }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        if (mode != PolylineMode) return;
        TRecordedLines item{pen, {}, true};
        for (int i = 1; i < count; ++i) item.lines.emplace_back(points[i - 1], points[i]);
        Lines.push_back(item);
    }
    void drawPolygon(const QPoint* points, int count, PolygonDrawMode mode) override {
        if (mode != PolylineMode) return;
        TRecordedLines item{pen, {}, true};
        for (int i = 1; i < count; ++i) item.lines.emplace_back(QPointF(points[i - 1]), QPointF(points[i]));
        Lines.push_back(item);
    }
    void drawPath(const QPainterPath&) override {}
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override {
        Texts.push_back({p, textItem.text()});
    }

    QPen pen;
    std::vector<TRecordedLines> Lines;
    std::vector<TRecordedText> Texts;
};

class TRecordingDevice : public QPaintDevice {
public:
    TRecordingDevice(int width, int height) : width_(width), height_(height) {}
    QPaintEngine* paintEngine() const override { return &engine_; }
    TRecordingEngine& Engine() const { return engine_; }

protected:
    int metric(PaintDeviceMetric m) const override {
        switch (m) {
            case PdmWidth:
                return width_;
            case PdmHeight:
                return height_;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 96;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return 1 << 24;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
            default:
                return 0;
        }
    }

private:
    int width_;
    int height_;
    mutable TRecordingEngine engine_;
};
