#include "telemetry/fGraph.h"

#include <QAction>
#include <QActionGroup>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

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
    // A click on the plot gives the box the focus, so that Space freezes.
    Paper1->setFocusPolicy(Qt::ClickFocus);
    Paper1->setFocusProxy(PaperBox1);
    Paper1->setMouseTracking(true);
    Paper1->installEventFilter(this);

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
    PopupMenu1->addSeparator();
    NFitEach = PopupMenu1->addAction(QStringLiteral("Fit each channel"));
    NFitEach->setCheckable(true);
    connect(NFitEach, &QAction::toggled, this, &TFrameGraph::SetFitEach);
    NSeconds = PopupMenu1->addAction(QStringLiteral("Time in seconds"));
    NSeconds->setCheckable(true);
    connect(NSeconds, &QAction::toggled, this, &TFrameGraph::SetSeconds);
    ActionFreeze = new QAction(QStringLiteral("Freeze"), this);
    ActionFreeze->setIconText(QStringLiteral("FREEZE"));
    ActionFreeze->setCheckable(true);
    ActionFreeze->setShortcut(Qt::Key_Space);
    ActionFreeze->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    ActionFreeze->setToolTip(QStringLiteral("Hold the view still while samples keep arriving (Space)"));
    ActionFreeze->setStatusTip(ActionFreeze->toolTip());
    addAction(ActionFreeze);
    PopupMenu1->addAction(ActionFreeze);
    connect(ActionFreeze, &QAction::toggled, this, &TFrameGraph::SetFrozen);

    Paper1->OnPaint = [this](QPainter& canvas, const QRegion& region) { Paper1Paint(canvas, region); };
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
    Paper1->OnLeave = [this] { MoveHover(QPoint(-1, -1)); };
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TFrameGraph::ScrollBar1Change);
    ScrollBar1->installEventFilter(this);
}

TFrameGraph::~TFrameGraph() {
    // Abandons a Tick still queued for the GUI thread and joins the thread before the graph is gone.
    if (Ticker) Ticker->Stop();
}

double TFrameGraph::Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
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
    Steps = 0;
    MarkChanged();
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
    MarkChanged();
}

void TFrameGraph::SetVisible(int Index, bool Visible) {
    if (Index < 0 || Index >= static_cast<int>(Buffers.size())) return;
    Buffers[static_cast<size_t>(Index)].Visible = Visible;
    MarkChanged();
}

void TFrameGraph::RecomputeRange() {
    YMin = EmptyMin;
    YMax = EmptyMax;
    for (const TLoopBuf& buffer : Buffers) {
        if (!buffer.Visible) continue;
        if (YMin > buffer.Lowest) YMin = buffer.Lowest;
        if (YMax < buffer.Highest) YMax = buffer.Highest;
    }
    PendingMin = EmptyMin;
    PendingMax = EmptyMax;
}

void TFrameGraph::Clear() {
    for (TLoopBuf& buffer : Buffers) buffer.Clear();
    MaxCount = 0;
    Steps = 0;
    HeldEnd = frozen_ ? 0 : -1;
    RecomputeRange();
    MarkChanged();
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

int TFrameGraph::ViewPosition() const {
    if (HeldEnd < 0) return 0;
    // Held samples that the rings have overwritten since are gone: the view then starts at the oldest.
    const long long oldest = MaxCount > Window ? Window - MaxCount : -MaxCount;
    return static_cast<int>(std::clamp(HeldEnd - Steps, oldest, 0LL));
}

void TFrameGraph::UpdateScrollBar() {
    // The bar shows the view; only the operator's moves reach ScrollBar1Change.
    const QSignalBlocker block(ScrollBar1);
    refitAt_ = Now();
    if (PlotMode == 0 && MaxCount > Window) {
        ScrollBar1->setRange(Window - MaxCount, 0);
        ScrollBar1->setValue(ViewPosition());
        ScrollBar1->show();
        return;
    }
    ScrollBar1->hide();
    if (PlotMode == 0) ScrollBar1->setValue(0);
}

void TFrameGraph::MarkDirty() {
    // The bar shows or hides at once. While the view follows the newest samples its thumb stays at the
    // right end whatever the range, so the range is left alone (each change repaints the bar and the
    // panels under it) until the operator touches the bar; a held view's thumb moves a few times a second.
    const bool bar = PlotMode == 0 && MaxCount > Window;
    if (bar == ScrollBar1->isHidden() || (HeldEnd >= 0 && Now() - refitAt_ >= 0.25)) UpdateScrollBar();
    Dirty = true;
    if (!showing_ || !Ticker || tickPosted_) return;
    // A slow stream (a record an interval or more after the last frame) is drawn by the GUI thread once
    // the record is in, without waking the repaint thread; faster ones go through it, one frame an
    // interval at most.
    if (Ticker->IntervalPassed() && Ticker->Idle()) {
        tickPosted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                tickPosted_ = false;
                Tick();
            },
            Qt::QueuedConnection);
        return;
    }
    Ticker->Arm();
}

void TFrameGraph::MarkChanged() {
    ++version_;
    MarkDirty();
}

void TFrameGraph::Follow() {
    HeldEnd = -1;
    YMin = std::min(YMin, PendingMin);
    YMax = std::max(YMax, PendingMax);
    PendingMin = EmptyMin;
    PendingMax = EmptyMax;
}

void TFrameGraph::SetFrozen(bool frozen) {
    if (frozen_ != frozen) {
        frozen_ = frozen;
        if (frozen) {
            if (HeldEnd < 0) HeldEnd = Steps;
        } else {
            Follow();
        }
    }
    const QSignalBlocker block(ActionFreeze);
    ActionFreeze->setChecked(frozen);
    MarkChanged();
}

void TFrameGraph::SetFitEach(bool on) {
    FitEach = on;
    const QSignalBlocker block(NFitEach);
    NFitEach->setChecked(on);
    MarkChanged();
}

void TFrameGraph::SetSeconds(bool on) {
    Seconds = on;
    const QSignalBlocker block(NSeconds);
    NSeconds->setChecked(on);
    MarkChanged();
}

bool TFrameGraph::Showing() const {
    if (!Paper1->isVisible() || Paper1->width() <= 0 || Paper1->height() <= 0) return false;
    const QWidget* top = window();
    if (top->isMinimized()) return false;
    const QWindow* handle = top->windowHandle();
    return handle == nullptr || handle->isExposed();
}

void TFrameGraph::UpdateShowing() {
    showing_ = Showing();
    if (showing_ && Dirty && Ticker) Ticker->Arm();
}

bool TFrameGraph::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            if (watched == ScrollBar1) UpdateScrollBar();
            break;
        case QEvent::Show:
            if (watched == Paper1) {
                // The window around the paper and its native window tell minimising and exposure.
                window()->installEventFilter(this);
                if (QWindow* handle = window()->windowHandle()) handle->installEventFilter(this);
            }
            [[fallthrough]];
        case QEvent::Hide:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
        case QEvent::Expose:
            UpdateShowing();
            break;
        default:
            break;
    }
    return QFrame::eventFilter(watched, event);
}

void TFrameGraph::Tick() {
    if (!Dirty) return;
    if (!Showing()) {
        showing_ = false;  // shown again, it asks for the tick itself
        return;
    }
    if (Ticker) Ticker->NoteTick();
    const QRegion changed = Render(false);
    if (changed.isEmpty()) return;
    Paper1->update(changed);
    if (Hover.x() >= 0) MoveHover(Hover);  // the values under the cursor changed
}

QRegion TFrameGraph::Render(bool whole) {
    // The image has one pixel per device pixel; its dots per inch follow, so labels keep their size.
    const qreal dpr = Paper1->devicePixelRatioF();
    const QSize size(static_cast<int>(std::lrint(Paper1->width() * dpr)),
                     static_cast<int>(std::lrint(Paper1->height() * dpr)));
    if (size.isEmpty()) return QRegion();
    if (Bitmap.size() != size) {
        Bitmap = QImage(size, QImage::Format_RGB32);
        const int dotsPerMeter = static_cast<int>(std::lrint(96.0 / 0.0254 * dpr));
        Bitmap.setDotsPerMeterX(dotsPerMeter);
        Bitmap.setDotsPerMeterY(dotsPerMeter);
        whole = true;  // a new image holds nothing yet
    }
    Position = PlotMode == 2 ? 0 : ViewPosition();
    // A frame that would show the same samples the same way is not drawn again (a held view).
    const TFrameKey key{size,
                        YMin,
                        YMax,
                        PlotXMin,
                        PlotXMax,
                        PlotYMin,
                        PlotYMax,
                        Window,
                        Position,
                        Steps + Position,
                        Seconds ? Steps : 0,
                        version_,
                        BackColor.rgb(),
                        Bitmap.dotsPerMeterY(),
                        PlotMode,
                        FitEach,
                        Seconds};
    Dirty = false;
    if (!whole && key == frameKey_) return QRegion();
    frameKey_ = key;
    ++Renders;
    Bitmap.setDevicePixelRatio(1.0);
    QRegion changed;
    if (PlotMode == 2) {
        QPainter image(&Bitmap);
        RenderXY(image, *this, size.height(), size.width(), 2);
        lastTraces_.clear();
        changed = QRect(QPoint(0, 0), size);
    } else {
        changed = RenderTimeLayers(size, whole);
    }
    Bitmap.setDevicePixelRatio(dpr);
    for (const QRect& r : changed) RenderedPixels += static_cast<long long>(r.width()) * r.height();
    RenderedRects += changed.rectCount();
    if (dpr != 1.0) return QRect(QPoint(0, 0), Paper1->size());
    return changed;
}

// While samples stream in, only the traces change: the grid, its labels and the sample-step ticks are
// drawn again only when what they show changes. A frame puts the grid back where the traces that moved
// (and the labels) were, draws every trace and label over it, and repaints only those bands: a trace
// that did not move costs no repaint.
QRegion TFrameGraph::RenderTimeLayers(const QSize& size, bool whole) {
    TFrameKey grid = frameKey_;
    grid.End = grid.Newest = 0;
    if (Seconds) grid.Position = 0;  // the ticks in seconds move with the traces
    const TGraphPainter painter(*this, size.height(), size.width(), 2);
    if (!(grid == gridKey_) || GridImage.size() != size) {
        GridImage = QImage(size, QImage::Format_RGB32);
        GridImage.setDotsPerMeterX(Bitmap.dotsPerMeterX());
        GridImage.setDotsPerMeterY(Bitmap.dotsPerMeterY());
        QPainter image(&GridImage);
        painter.RenderTimeGrid(image);
        gridKey_ = grid;
        whole = true;
    }
    std::vector<QPolygon> traces = painter.TimeTraces();
    TDirtyBands& changed = nextBands_;
    changed.Reset(size.width(), size.height());
    if (whole || lastTraces_.size() != traces.size()) {
        std::memcpy(Bitmap.bits(), GridImage.constBits(), static_cast<size_t>(GridImage.sizeInBytes()));
    } else {
        for (size_t c = 0; c < traces.size(); ++c)
            if (traces[c] != lastTraces_[c]) {
                changed.Add(lastTraces_[c]);
                changed.Add(traces[c]);
            }
        if (changed.Empty() && lastLabels_.Empty() && !FitEach && !Seconds) return QRegion();  // all still
        uchar* to = Bitmap.bits();
        const uchar* from = GridImage.constBits();
        const qsizetype stride = Bitmap.bytesPerLine();
        for (const QRect& r : changed.Rects(&lastLabels_))
            for (int y = r.top(); y <= r.bottom(); ++y)
                std::memcpy(to + y * stride + r.left() * 4, from + y * stride + r.left() * 4,
                            static_cast<size_t>(r.width()) * 4);
    }
    // Every trace is drawn again: the grid put back under a moved one may have held a still one.
    QPainter image(&Bitmap);
    painter.DrawTimeTraces(image, traces);
    TDirtyBands& labels = nextLabels_;
    labels.Reset(size.width(), size.height());
    painter.RenderTimeLabels(image, &labels);
    image.end();
    changed.Add(lastLabels_);
    const std::vector<QRect> rects = changed.Rects(&labels);
    // Last frame's bands and this one's swap places, so that no frame allocates.
    std::swap(lastLabels_, nextLabels_);
    lastTraces_.swap(traces);
    if (whole) return QRect(QPoint(0, 0), size);
    QRegion region;
    if (!rects.empty()) region.setRects(rects.data(), static_cast<int>(rects.size()));
    return region;
}

void TFrameGraph::Paper1Paint(QPainter& canvas, const QRegion& region) {
    const qreal dpr = Paper1->devicePixelRatioF();
    const QSize size(static_cast<int>(std::lrint(Paper1->width() * dpr)),
                     static_cast<int>(std::lrint(Paper1->height() * dpr)));
    if (size.isEmpty()) return;
    // Samples that came since the last frame are the ticker's to draw: a paint only copies, unless the
    // image does not fit the paper (first paint, new size).
    if (Bitmap.size() != size) {
        Render(true);
        // What this paint does not cover must show the new picture too.
        if (!region.contains(Paper1->rect())) Paper1->update();
    }
    for (const QRect& r : region)
        canvas.drawImage(QRectF(r), Bitmap,
                         QRectF(r.x() * dpr, r.y() * dpr, r.width() * dpr, r.height() * dpr));
    if (Hover.x() >= 0) PaintReadout(canvas, ReadoutAt(Hover), dpr, Paper1->size(), BackColor);
}

TReadout TFrameGraph::ReadoutAt(QPoint p) const {
    const qreal dpr = Paper1->devicePixelRatioF();
    return ::ReadoutAt(
        *this, PlotMode, Bitmap.height(), Bitmap.width(), 2,
        QPoint(static_cast<int>(std::lrint(p.x() * dpr)), static_cast<int>(std::lrint(p.y() * dpr))));
}

void TFrameGraph::MoveHover(QPoint p) {
    if (!readoutRect_.isEmpty()) Paper1->update(readoutRect_);
    Hover = p;
    readoutRect_ = QRect();
    if (p.x() < 0) return;
    readoutRect_ =
        ReadoutCover(ReadoutAt(p), Paper1->devicePixelRatioF(), Paper1->size(), Paper1->fontMetrics());
    Paper1->update(readoutRect_);
}

bool TFrameGraph::SaveImage(const QString& path, QString* error) {
    if (Bitmap.isNull() || Dirty) Render(true);
    QSaveFile file(path);
    const bool written =
        !Bitmap.isNull() && file.open(QIODevice::WriteOnly) && Bitmap.save(&file, "PNG") && file.commit();
    if (!written && error)
        *error = Bitmap.isNull() ? QStringLiteral("the plot has no size") : file.errorString();
    return written;
}

void TFrameGraph::Paper1MouseDown(Qt::MouseButton button, int X, int Y) {
    if (button != Qt::LeftButton) return;
    DownX = X;
    DownY = Y;
    DownWindow = Window;
}

void TFrameGraph::Paper1MouseMove(Qt::MouseButtons buttons, int X, int Y) {
    if (!(buttons & Qt::LeftButton)) {
        MoveHover(QPoint(X, Y));
        return;
    }
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
            MarkChanged();
        }
        return;
    }
    if (X != DownX) {
        UpdateScrollBar();
        MarkChanged();
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
    MarkChanged();
}

void TFrameGraph::ScrollBar1Change() {
    const int value = ScrollBar1->value();
    if (value == 0 && !frozen_)
        Follow();
    else
        HeldEnd = Steps + value;
    MarkChanged();
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
    MarkChanged();
}

void TFrameGraph::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    MarkChanged();
}
