#include "telemetry/fGraph.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>
#include <cstring>

void ThreadTic::Execute() {
    while (!Terminated()) {
        TFrameGraph* graph = Graph;
        if (graph->Dirty.load() && !Synchronize([graph]() { graph->Tick(); })) break;
        if (!SleepFor(Interval)) break;
    }
}

TFrameGraph::TFrameGraph(QWidget* parent) : QFrame(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PaperBox1 = new TPaperBox(this);
    auto* boxLayout = new QVBoxLayout(PaperBox1);
    boxLayout->setContentsMargins(0, 0, 0, 0);
    Paper1 = new TPaper(PaperBox1);
    boxLayout->addWidget(Paper1);
    layout->addWidget(PaperBox1, 1);

    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setFixedHeight(17);
    ScrollBar1->setPageStep(0);
    ScrollBar1->setRange(0, 0);
    layout->addWidget(ScrollBar1);

    PopupMenu1 = new QMenu(this);
    auto* group = new QActionGroup(PopupMenu1);
    group->setExclusive(true);
    N1D1 = PopupMenu1->addAction(QStringLiteral("1D"));
    N2D1 = PopupMenu1->addAction(QStringLiteral("2D"));
    for (QAction* item : {N1D1, N2D1}) {
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, &TFrameGraph::N1D1Click);
    }
    N1D1->setChecked(true);

    Paper1->OnPaint = [this](QPainter& canvas) { Paper1Paint(canvas); };
    Paper1->OnMouseDown = [this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        Paper1MouseDown(e->button(), p.x(), p.y());
    };
    Paper1->OnMouseMove = [this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        Paper1MouseMove(e->buttons(), p.x(), p.y());
    };
    Paper1->OnMouseUp = [this](QMouseEvent* e) {
        const QPoint p = e->position().toPoint();
        Paper1MouseUp(e->button(), p.x(), p.y());
        // The popup opens on release, after the zoom-out that the same click does.
        if (e->button() == Qt::RightButton) PopupMenu1->popup(e->globalPosition().toPoint());
    };
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TFrameGraph::ScrollBar1Change);
}

TFrameGraph::~TFrameGraph() {
    // Abandons a Tick still queued for the GUI thread and joins the thread before the graph is gone.
    if (Ticker) Ticker->Stop();
}

void TFrameGraph::InitGraph() {
    Bitmap = QImage();
    Buffers.assign(ChannelCount, TLoopBuf());
    if (!Ticker) {
        Ticker = std::make_shared<ThreadTic>(this, 20);
        Ticker->Start();
    }
    Window = 200;
    MaxCount = 0;
    Dirty = true;
    UpdateScrollBar();
}

void TFrameGraph::SetChannel(int Index, bool Visible, const QColor& Color, bool Reset, const QString& Name,
                             double Scale) {
    if (Index >= 0 && Index < static_cast<int>(Buffers.size())) {
        TLoopBuf& buffer = Buffers[static_cast<size_t>(Index)];
        if (Reset) {
            buffer.Clear();
            MaxCount = 0;
        }
        buffer.Visible = Visible;
        buffer.Color = Color;
        buffer.Name = Name;
        buffer.Scale = Scale;
    }
    UpdateScrollBar();
    Dirty = true;
}

void TFrameGraph::SetVisible(int Index, bool Visible) {
    if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return;
    Buffers[static_cast<size_t>(Index)].Visible = Visible;
    Dirty = true;
}

void TFrameGraph::RecomputeRange() {
    YMin = EmptyMin;
    YMax = EmptyMax;
    for (const TLoopBuf& buffer : Buffers) {
        if (!buffer.Visible) continue;
        if (YMin > buffer.Lowest) YMin = buffer.Lowest;
        if (YMax < buffer.Highest) YMax = buffer.Highest;
    }
}

void TFrameGraph::Clear() {
    for (TLoopBuf& buffer : Buffers) buffer.Clear();
    MaxCount = 0;
    UpdateScrollBar();
    RecomputeRange();
    Dirty = true;
}

QString TFrameGraph::ChannelName(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return QString();
    return Buffers[static_cast<size_t>(Index)].Name;
}

QColor TFrameGraph::ChannelColor(int Index, const QColor& Default) const {
    if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return Default;
    return Buffers[static_cast<size_t>(Index)].Color;
}

double TFrameGraph::ChannelValue(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return 0.0;
    const TLoopBuf& buffer = Buffers[static_cast<size_t>(Index)];
    return buffer.Last * buffer.Scale;
}

void TFrameGraph::UpdateScrollBar() {
    if (PlotMode == 0 && MaxCount > Window) {
        ScrollBar1->setRange(Window - MaxCount, 0);
        ScrollBar1->show();
        return;
    }
    ScrollBar1->hide();
    if (PlotMode == 0) ScrollBar1->setValue(0);
}

void TFrameGraph::Tick() {
    if (Dirty) Paper1->update();
}

void TFrameGraph::Paper1Paint(QPainter& canvas) {
    // The image has one pixel per device pixel; its dots per inch follow, so labels keep their size.
    const qreal dpr = Paper1->devicePixelRatioF();
    const QSize size(static_cast<int>(std::lrint(Paper1->width() * dpr)),
                     static_cast<int>(std::lrint(Paper1->height() * dpr)));
    if (size.isEmpty()) return;
    bool render = Dirty;
    if (Bitmap.size() != size) {
        Bitmap = QImage(size, QImage::Format_RGB32);
        const int dotsPerMeter = static_cast<int>(std::lrint(96.0 / 0.0254 * dpr));
        Bitmap.setDotsPerMeterX(dotsPerMeter);
        Bitmap.setDotsPerMeterY(dotsPerMeter);
        render = true;  // a new image holds nothing yet
    }
    if (render) {
        Bitmap.setDevicePixelRatio(1.0);
        Position = ScrollBar1->value();
        if (PlotMode == 2) {
            QPainter image(&Bitmap);
            RenderXY(image, *this, size.height(), size.width(), 2);
        } else {
            RenderTimeCached(size);
        }
        Dirty = false;
        ++Renders;
    }
    Bitmap.setDevicePixelRatio(dpr);
    canvas.drawImage(0, 0, Bitmap);
}

// While samples stream in, only the traces change: the grid, its labels and the time ticks are drawn
// again only when what they show changes, and otherwise copied from the last time.
void TFrameGraph::RenderTimeCached(const QSize& size) {
    const TGridKey key{size, YMin, YMax, Window, Position, BackColor.rgb(), Bitmap.dotsPerMeterY()};
    const TGraphPainter painter(*this, size.height(), size.width(), 2);
    if (!(key == gridKey_) || GridImage.size() != size) {
        GridImage = QImage(size, QImage::Format_RGB32);
        GridImage.setDotsPerMeterX(Bitmap.dotsPerMeterX());
        GridImage.setDotsPerMeterY(Bitmap.dotsPerMeterY());
        QPainter grid(&GridImage);
        painter.RenderTimeGrid(grid);
        grid.end();
        gridKey_ = key;
    }
    std::memcpy(Bitmap.bits(), GridImage.constBits(), static_cast<size_t>(GridImage.sizeInBytes()));
    QPainter image(&Bitmap);
    painter.RenderTimeTraces(image);
}

void TFrameGraph::Paper1MouseDown(Qt::MouseButton button, int X, int Y) {
    if (button != Qt::LeftButton) return;
    DownX = X;
    DownY = Y;
    DownWindow = Window;
}

void TFrameGraph::Paper1MouseMove(Qt::MouseButtons buttons, int X, int) {
    if (!(buttons & Qt::LeftButton)) return;
    const int W = Paper1->width();
    if (W <= 0) return;
    const double w = static_cast<double>(static_cast<long long>(X - DownX) * DownWindow) / W + DownWindow;
    Window = w < 20 ? 20 : w > 4096 ? 4096 : static_cast<int>(std::lrint(w));
}

void TFrameGraph::Paper1MouseUp(Qt::MouseButton button, int X, int Y) {
    const int W = Paper1->width();
    const int H = Paper1->height();
    if (W <= 0 || H <= 0) return;
    if (PlotMode == 2) {
        if (DownX < X && DownY < Y) {
            const float rx = static_cast<float>(PlotXMax - PlotXMin);
            const float ry = static_cast<float>(PlotYMax - PlotYMin);
            const float xMin = static_cast<float>(PlotXMin);
            const float yMin = static_cast<float>(PlotYMin);
            PlotXMax = static_cast<float>(X) / W * rx + xMin;
            PlotXMin = static_cast<float>(DownX) / W * rx + xMin;
            PlotYMax = static_cast<float>(H - DownY) / H * ry + yMin;
            PlotYMin = static_cast<float>(H - Y) / H * ry + yMin;
            Dirty = true;
        }
        return;
    }
    if (X != DownX) {
        UpdateScrollBar();
        Dirty = true;
        return;
    }
    const float r = static_cast<float>(YMax - YMin);
    const float c = static_cast<float>(H - Y) / H * r + static_cast<float>(YMin);
    if (button == Qt::LeftButton) {
        YMin = c - r / 4;
        YMax = c + r / 4;
    } else {
        YMin = c - 4 * r;
        YMax = c + 4 * r;
    }
    Dirty = true;
}

void TFrameGraph::ScrollBar1Change() {
    Dirty = true;
}

void TFrameGraph::N1D1Click() {
    if (N2D1->isChecked()) {
        if (PlotMode != 2) {
            PlotXMin = YMin;
            PlotXMax = YMax;
            PlotYMin = YMin;
            PlotYMax = YMax;
            PlotMode = 2;
        }
    } else {
        PlotMode = 0;
    }
    UpdateScrollBar();
    Paper1->update();
    Dirty = true;
}

void TFrameGraph::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    Dirty = true;
}
