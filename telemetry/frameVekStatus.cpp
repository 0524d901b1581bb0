#include "telemetry/frameVekStatus.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/MaskEditUpDown.h"
#include "link/comLink.h"
#include "telemetry/statusPoll.h"
#include "link/zuq.h"
#include "telemetry/fGraph.h"

namespace {

constexpr int ItemHeight = 24;  // of a channel's row

// Channels checked on a first start: throttle, current and speed.
constexpr int DefaultChannels[] = {0, 1, 6};

// Draws the check box of an item as the list would, and leaves the rest of the row to the frame.
class TChannelDelegate : public QStyledItemDelegate {
public:
    TChannelDelegate(TFrameVekStat* frame, QObject* parent) : QStyledItemDelegate(parent), frame_(frame) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        // The row background first, so that the check box stands on the selection colour too.
        painter->save();
        painter->fillRect(
            opt.rect, (opt.state & QStyle::State_Selected) ? opt.palette.highlight() : opt.palette.base());
        const QRect check = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, widget);
        QStyleOptionViewItem box = opt;
        box.rect = check;
        box.state = box.state & ~QStyle::State_HasFocus;
        box.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
        style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, widget);
        const QRect item(check.right() + 4, opt.rect.top(), opt.rect.right() - check.right() - 4,
                         opt.rect.height());
        painter->setBrush(painter->background());
        painter->setPen((opt.state & QStyle::State_Selected) ? opt.palette.color(QPalette::HighlightedText)
                                                             : opt.palette.color(QPalette::Text));
        painter->setBrush((opt.state & QStyle::State_Selected) ? opt.palette.highlight()
                                                               : opt.palette.base());
        frame_->CheckListBox1DrawItem(*painter, index.row(), item);
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QSize(QStyledItemDelegate::sizeHint(option, index).width(), ItemHeight);
    }

private:
    TFrameVekStat* frame_;
};

// Keeps every channel in view without scrolling: as the frame's height changes, the list takes as many
// columns as it needs, with the rows shared evenly between them.
class TChannelColumns : public QObject {
public:
    TChannelColumns(QListWidget* list, QWidget* fullHeight, int columnWidth)
        : QObject(list), list_(list), columnWidth_(columnWidth) {
        fullHeight->installEventFilter(this);
        Fit(TFrameVekStat::ChannelCount * ItemHeight);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) Fit(static_cast<QWidget*>(watched)->height());
        return false;
    }

private:
    void Fit(int height) {
        // The list starts a new column only when a row would end beyond its height: one pixel to spare.
        const int frame = 2 * list_->frameWidth() + 1;
        const int fitting = std::max(1, (height - frame) / ItemHeight);
        const int columns = (TFrameVekStat::ChannelCount + fitting - 1) / fitting;
        const int rows = (TFrameVekStat::ChannelCount + columns - 1) / columns;
        list_->setFixedSize(columns * columnWidth_ + frame, rows * ItemHeight + frame);
    }

    QListWidget* list_;
    int columnWidth_;
};

TMaskEditUpDown* NewEdit(QWidget* parent, double min, double max, double value) {
    auto* edit = new TMaskEditUpDown(parent);
    edit->Min = min;
    edit->Max = max;
    edit->Increment = 1;
    edit->isInt = true;
    edit->SetValue(value);
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + edit->UpDownWidth() +
                        8);
    return edit;
}

}  // namespace

TFrameVekStat::TFrameVekStat(QWidget* parent) : QFrame(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    GroupBox3 = new QGroupBox(QStringLiteral(" Status "), this);
    outer->addWidget(GroupBox3);
    auto* row = new QHBoxLayout(GroupBox3);

    // The panel on the left, the channel list beside it at full height, the graph filling the rest.
    auto* left = new QWidget(GroupBox3);
    left->setFixedWidth(223);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    row->addWidget(left);
    CheckListBox1 = new QListWidget(GroupBox3);
    row->addWidget(CheckListBox1, 0, Qt::AlignTop);
    FrameGraph1 = new TFrameGraph(GroupBox3);
    row->addWidget(FrameGraph1, 1);

    // Display only: the controller's mode, address and state flags.
    Panel3 = new QFrame(left);
    Panel3->setFrameShape(QFrame::StyledPanel);
    Panel3->setEnabled(false);
    auto* grid = new QGridLayout(Panel3);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setVerticalSpacing(2);
    Label14 = new QLabel(QStringLiteral("Mode: "), Panel3);
    MaskEditUpDown12 = NewEdit(Panel3, 0, 16, 0);
    Label15 = new QLabel(QStringLiteral("Address:"), Panel3);
    MaskEditUpDown13 = NewEdit(Panel3, 0, 16, 0);
    grid->addWidget(Label14, 0, 0);
    grid->addWidget(MaskEditUpDown12, 0, 1);
    grid->addWidget(Label15, 1, 0);
    grid->addWidget(MaskEditUpDown13, 1, 1);
    for (int bit = 0; bit < 8; ++bit) {
        FlagBoxes[bit] = new QCheckBox(QString::fromLatin1(StatusFlagNames[bit]), Panel3);
        grid->addWidget(FlagBoxes[bit], 2 + bit / 2, bit % 2);
    }
    CheckBox7 = FlagBoxes[0];
    CheckBox8 = FlagBoxes[1];
    CheckBox9 = FlagBoxes[2];
    CheckBox10 = FlagBoxes[3];
    CheckBox11 = FlagBoxes[4];
    CheckBox2 = FlagBoxes[5];
    CheckBox12 = FlagBoxes[6];
    CheckBox1 = FlagBoxes[7];
    leftLayout->addWidget(Panel3);

    ActionLogUpdate = new QAction(QStringLiteral("UPDATE"), this);
    ActionLogUpdate->setToolTip(QStringLiteral("Start log"));
    ActionLogUpdate->setStatusTip(QStringLiteral("Start log"));
    ActionLogUpdate->setCheckable(true);
    ActionLogUpdate->setChecked(true);
    connect(ActionLogUpdate, &QAction::triggered, this, &TFrameVekStat::ActionLogUpdateExecute);
    ActionClearLog = new QAction(QStringLiteral("CLEAR"), this);
    ActionClearLog->setToolTip(QStringLiteral("Clear log"));
    ActionClearLog->setStatusTip(QStringLiteral("Clear log"));
    connect(ActionClearLog, &QAction::triggered, this, &TFrameVekStat::ActionClearLogExecute);

    Panel4 = new QFrame(left);
    // Two rows: the buttons and the refresh rate do not fit side by side in the panel's width.
    auto* controls = new QGridLayout(Panel4);
    controls->setContentsMargins(0, 2, 0, 2);
    ASpeedButton1 = new QToolButton(Panel4);
    ASpeedButton1->setDefaultAction(ActionLogUpdate);  // a click executes the action, which flips it
    SpeedButton2 = new QToolButton(Panel4);
    SpeedButton2->setDefaultAction(ActionClearLog);
    Label1 = new QLabel(QStringLiteral("Refresh rate:"), Panel4);
    MaskEditUpDown1 = NewEdit(Panel4, 1, 250, 20);
    MaskEditUpDown1->OnUpdate = [this] { MaskEditUpDown1Update(); };
    controls->addWidget(ASpeedButton1, 0, 0);
    controls->addWidget(SpeedButton2, 0, 1);
    controls->addWidget(Label1, 1, 0);
    controls->addWidget(MaskEditUpDown1, 1, 1);
    controls->setColumnStretch(2, 1);
    leftLayout->addWidget(Panel4);

    leftLayout->addStretch(1);

    CheckListBox1->setItemDelegate(new TChannelDelegate(this, CheckListBox1));
    CheckListBox1->setUniformItemSizes(true);
    // Top to bottom, then a further column where the height does not take all thirteen rows.
    CheckListBox1->setFlow(QListView::TopToBottom);
    CheckListBox1->setWrapping(true);
    CheckListBox1->setResizeMode(QListView::Adjust);
    CheckListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    CheckListBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    const QFontMetrics metrics = CheckListBox1->fontMetrics();
    int widest = 0;
    for (const TStatusChannel& c : StatusChannels)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromLatin1(c.Name)));
    // Check box, name, value and colour square side by side; never narrower than the panel.
    const int columnWidth =
        std::max(219, 28 + widest + 8 + metrics.horizontalAdvance(QStringLiteral("-00000")) + ItemHeight);
    CheckListBox1->setGridSize(QSize(columnWidth, ItemHeight));
    new TChannelColumns(CheckListBox1, FrameGraph1, columnWidth);
    connect(CheckListBox1, &QListWidget::itemChanged, this, &TFrameVekStat::CheckListBox1ClickCheck);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFrameVekStat::Timer1Timer);
    Timer1->start();
}

TFrameVekStat::~TFrameVekStat() = default;

void TFrameVekStat::Initialize(TComLink* port, uint8_t netBit) {
    Port = port;
    NetBit = netBit;
    Poll = port ? std::make_unique<TStatusPoll>(*port) : nullptr;
    FrameGraph1->InitGraph();
    FrameGraph1->BackColor = QColor(255, 255, 255);
    for (int i = 0; i < ChannelCount; ++i) {
        const TStatusChannel& c = StatusChannels[i];
        FrameGraph1->SetChannel(i, false, QColor(c.Red, c.Green, c.Blue), true, QString::fromLatin1(c.Name),
                                c.Scale);
    }
    const QSignalBlocker blocker(CheckListBox1);
    CheckListBox1->clear();
    for (int i = 0; i < ChannelCount; ++i) {
        auto* item = new QListWidgetItem(FrameGraph1->ChannelName(i), CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool shown =
            std::find(std::begin(DefaultChannels), std::end(DefaultChannels), i) != std::end(DefaultChannels);
        item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
    }
    CheckListBox1ClickCheck();
}

bool TFrameVekStat::HandleReply(const uint8_t* payload, uint8_t length) {
    if (payload == nullptr || length < 1 || payload[0] != zuq::Cmd::Status) return true;
    Record = StatusRecord::FromBytes(payload + 1, static_cast<size_t>(length - 1));
    ApplyRecord();
    return true;
}

void TFrameVekStat::ApplyRecord() {
    if (ASpeedButton1->isChecked())
        for (int i = 0; i < ChannelCount; ++i) FrameGraph1->AddValue(i, Record.Channel(i));
    // Telemetry streams at up to 250 records a second: only what changed on screen is redrawn.
    if (shownMode_ != Record.Mode) MaskEditUpDown12->SetValue(Record.Mode);
    if (shownAddress_ != Record.Address) MaskEditUpDown13->SetValue(Record.Address);
    shownMode_ = Record.Mode;
    shownAddress_ = Record.Address;
    for (int bit = 0; bit < 8; ++bit) FlagBoxes[bit]->setChecked((Record.Flags >> bit) & 1);
    bool changed = false;
    for (int i = 0; i < ChannelCount; ++i) {
        const QString value = ValueText(i);
        if (shownValues_[i] != value) {
            shownValues_[i] = value;
            changed = true;
        }
    }
    if (changed) CheckListBox1->viewport()->update();
}

QString TFrameVekStat::ValueText(int index) const {
    if (index < 0 || index >= static_cast<int>(FrameGraph1->Buffers.size())) return QString();
    const TLoopBuf& buffer = FrameGraph1->Buffers[static_cast<size_t>(index)];
    return ScaledText(buffer.Last, buffer.Scale, QLocale::system().decimalPoint().at(0));
}

void TFrameVekStat::RequestStatus() {
    ApplyRecord();
    SendRequest();
}

void TFrameVekStat::SendRequest() {
    if (!Poll) return;
    Poll->NetBit = NetBit;
    Poll->Streaming = ASpeedButton1->isChecked();
    Poll->Rate = MaskEditUpDown1->GetIntValue();
    Poll->Request();
}

void TFrameVekStat::Timer1Timer() {
    RequestStatus();
}

void TFrameVekStat::MaskEditUpDown1Update() {
    RequestStatus();
}

void TFrameVekStat::ActionLogUpdateExecute() {
    ASpeedButton1->setChecked(ActionLogUpdate->isChecked());
    RequestStatus();
}

void TFrameVekStat::ActionLogUpdateUpdate() {
    ASpeedButton1->setChecked(ActionLogUpdate->isChecked());
}

void TFrameVekStat::ActionClearLogExecute() {
    FrameGraph1->Clear();
}

void TFrameVekStat::CheckListBox1ClickCheck() {
    for (int i = 0; i < CheckListBox1->count(); ++i)
        FrameGraph1->SetVisible(i, CheckListBox1->item(i)->checkState() == Qt::Checked);
    FrameGraph1->RecomputeRange();
}

// Name on the left, value right-aligned before the channel's colour square at the right end.
void TFrameVekStat::CheckListBox1DrawItem(QPainter& canvas, int index, const QRect& rect) {
    const int right = rect.x() + rect.width();
    const int h = rect.height();
    QRect swatch(right - h, rect.y(), h, h);
    const QFontMetrics metrics = canvas.fontMetrics();
    const int dy = (h - metrics.horizontalAdvance(QStringLiteral("A"))) / 4;
    canvas.fillRect(rect, canvas.brush());
    canvas.drawText(rect.x(), rect.y() + dy + metrics.ascent(), FrameGraph1->ChannelName(index));
    const QString value = ValueText(index);
    canvas.drawText(swatch.x() - (metrics.horizontalAdvance(value) + 2), rect.y() + dy + metrics.ascent(),
                    value);
    canvas.setBrush(FrameGraph1->ChannelColor(index, QColor(0, 0, 0)));
    swatch.adjust(1, 1, -1, -1);
    // A Qt rectangle outline covers one pixel more to the right and below than its fill.
    canvas.drawRect(swatch.adjusted(0, 0, -1, -1));
}
