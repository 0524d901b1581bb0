#include "telemetry/frameVekStatus.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "controls/MaskEditUpDown.h"
#include "link/comLink.h"
#include "link/zuq.h"
#include "telemetry/fGraph.h"
#include "telemetry/statusPoll.h"

namespace {

constexpr int ItemHeight = 24;  // of a channel's row

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

    ActionRecord = new QAction(QStringLiteral("Record..."), this);
    ActionRecord->setCheckable(true);
    ActionRecord->setIconText(QStringLiteral("RECORD"));
    ActionRecord->setToolTip(QStringLiteral("Record the status stream to a CSV file"));
    ActionRecord->setStatusTip(ActionRecord->toolTip());
    connect(ActionRecord, &QAction::triggered, this, &TFrameVekStat::ActionRecordExecute);
    ActionExport = new QAction(QStringLiteral("Export..."), this);
    ActionExport->setStatusTip(QStringLiteral("Write the records the graph holds to a CSV file"));
    connect(ActionExport, &QAction::triggered, this, &TFrameVekStat::ActionExportExecute);
    ActionSaveImage = new QAction(QStringLiteral("Save image..."), this);
    ActionSaveImage->setStatusTip(QStringLiteral("Save the plot as a PNG image"));
    connect(ActionSaveImage, &QAction::triggered, this, &TFrameVekStat::ActionSaveImageExecute);

    Panel4 = new QFrame(left);
    // Two rows: the buttons and the refresh rate do not fit side by side in the panel's width.
    auto* controls = new QGridLayout(Panel4);
    controls->setContentsMargins(0, 2, 0, 2);
    ASpeedButton1 = new QToolButton(Panel4);
    ASpeedButton1->setDefaultAction(ActionLogUpdate);  // a click executes the action, which flips it
    SpeedButton2 = new QToolButton(Panel4);
    SpeedButton2->setDefaultAction(ActionClearLog);
    SpeedButtonFreeze = new QToolButton(Panel4);
    SpeedButtonFreeze->setDefaultAction(FrameGraph1->ActionFreeze);
    SpeedButtonRecord = new QToolButton(Panel4);
    SpeedButtonRecord->setDefaultAction(ActionRecord);
    Label1 = new QLabel(QStringLiteral("Refresh rate:"), Panel4);
    MaskEditUpDown1 = NewEdit(Panel4, 1, 250, 20);
    MaskEditUpDown1->OnUpdate = [this] { MaskEditUpDown1Update(); };
    controls->addWidget(ASpeedButton1, 0, 0);
    controls->addWidget(SpeedButton2, 0, 1);
    controls->addWidget(SpeedButtonFreeze, 1, 0);
    controls->addWidget(SpeedButtonRecord, 1, 1);
    controls->addWidget(Label1, 2, 0);
    controls->addWidget(MaskEditUpDown1, 2, 1);
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
    connect(CheckListBox1, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { CheckListBox1DblClick(CheckListBox1->row(item)); });

    AskSaveFileName = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    AskColor = [this](const QColor& initial) { return QColorDialog::getColor(initial, this); };
    Recorder.OnLog = [this](const QString& line) { Log(line); };
    point_ = TCalcAI::DecimalSeparator();

    ValuesTimer = new QTimer(this);
    ValuesTimer->setSingleShot(true);
    ValuesTimer->setInterval(100);
    connect(ValuesTimer, &QTimer::timeout, this, &TFrameVekStat::RefreshValues);

    RecordTimer = new QTimer(this);
    RecordTimer->setInterval(500);
    connect(RecordTimer, &QTimer::timeout, this, &TFrameVekStat::RecordTimerTimer);

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
        item->setCheckState(Qt::Unchecked);
    }
    initialized_ = true;
    ApplySettings();
}

void TFrameVekStat::LoadSettings(const CSimpleIniA& ini) {
    Settings.Load(ini);
    if (initialized_) ApplySettings();
}

void TFrameVekStat::ApplySettings() {
    {
        const QSignalBlocker blocker(CheckListBox1);
        for (int i = 0; i < ChannelCount && i < CheckListBox1->count(); ++i) {
            CheckListBox1->item(i)->setCheckState((Settings.Checked >> i) & 1 ? Qt::Checked : Qt::Unchecked);
            const uint32_t rgb = Settings.Colors[i];
            FrameGraph1->Buffers[static_cast<size_t>(i)].Color =
                QColor((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
        }
    }
    FrameGraph1->SetFitEach(Settings.FitEach);
    FrameGraph1->SetSeconds(Settings.Seconds);
    FrameGraph1->Window = Settings.Window;
    (Settings.XY ? FrameGraph1->N2D1 : FrameGraph1->N1D1)->setChecked(true);
    FrameGraph1->N1D1Click();
    MaskEditUpDown1->SetValue(Settings.Rate);
    CheckListBox1ClickCheck();
    CheckListBox1->viewport()->update();
}

void TFrameVekStat::SaveSettings(CSimpleIniA& ini) {
    if (initialized_) {
        Settings.Checked = 0;
        for (int i = 0; i < ChannelCount && i < CheckListBox1->count(); ++i) {
            if (CheckListBox1->item(i)->checkState() == Qt::Checked) Settings.Checked |= 1u << i;
            Settings.Colors[i] = FrameGraph1->Buffers[static_cast<size_t>(i)].Color.rgb() & 0xffffffu;
        }
        Settings.FitEach = FrameGraph1->FitEach;
        Settings.Seconds = FrameGraph1->Seconds;
        Settings.XY = FrameGraph1->PlotMode == 2;
        Settings.Window = FrameGraph1->Window;
        Settings.Rate = MaskEditUpDown1->GetIntValue();
    }
    Settings.Save(ini);
}

bool TFrameVekStat::HandleReply(const uint8_t* payload, uint8_t length) {
    if (payload == nullptr || length < 1 || payload[0] != zuq::Cmd::Status) return true;
    Record = StatusRecord::FromBytes(payload + 1, static_cast<size_t>(length - 1));
    // The history keeps what the graph takes; a recording takes every record that arrives.
    const bool recording = Recorder.Recording();
    // In UTC: a local time costs a look-up of the time zone, too much for every record.
    Recorder.Take(Record, QDateTime::currentDateTimeUtc(), ASpeedButton1->isChecked());
    if (recording && !Recorder.Recording()) ShowRecording();
    ApplyRecord();
    return true;
}

void TFrameVekStat::ApplyRecord() {
    if (ASpeedButton1->isChecked()) {
        const double now = TFrameGraph::Now();
        for (int i = 0; i < ChannelCount; ++i) FrameGraph1->AddValue(i, Record.Channel(i), now);
    }
    // Telemetry streams at up to 250 records a second: only what changed on screen is redrawn.
    if (shownMode_ != Record.Mode) MaskEditUpDown12->SetValue(Record.Mode);
    if (shownAddress_ != Record.Address) MaskEditUpDown13->SetValue(Record.Address);
    shownMode_ = Record.Mode;
    shownAddress_ = Record.Address;
    for (int bit = 0; bit < 8; ++bit) FlagBoxes[bit]->setChecked((Record.Flags >> bit) & 1);
    // The values in the list are read at most ten times a second, faster than that nobody can.
    if (!ValuesTimer->isActive()) ValuesTimer->start();
}

void TFrameVekStat::RefreshValues() {
    for (int i = 0; i < ChannelCount && i < CheckListBox1->count(); ++i) {
        const QString value = ValueText(i);
        if (shownValues_[i] == value) continue;
        shownValues_[i] = value;
        CheckListBox1->viewport()->update(CheckListBox1->visualItemRect(CheckListBox1->item(i)));
    }
}

QString TFrameVekStat::ValueText(int index) const {
    if (index < 0 || index >= static_cast<int>(FrameGraph1->Buffers.size())) return QString();
    const TLoopBuf& buffer = FrameGraph1->Buffers[static_cast<size_t>(index)];
    return ScaledText(buffer.Last, buffer.Scale, point_);
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
    Recorder.ClearHistory();
}

void TFrameVekStat::ActionRecordExecute() {
    if (!ActionRecord->isChecked()) {
        Recorder.Stop();
    } else {
        const QString path =
            AskSaveFileName(QStringLiteral("Record telemetry"), QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty()) Recorder.Start(path);
    }
    ShowRecording();
}

void TFrameVekStat::RecordTimerTimer() {
    Recorder.Flush();
    ShowRecording();
}

void TFrameVekStat::ShowRecording() {
    const bool recording = Recorder.Recording();
    ActionRecord->setChecked(recording);
    if (recording && !RecordTimer->isActive()) RecordTimer->start();
    if (!recording) RecordTimer->stop();
    if (OnRecording) OnRecording(Recorder.StatusText());
}

void TFrameVekStat::ActionExportExecute() {
    const QString path =
        AskSaveFileName(QStringLiteral("Export telemetry"), QStringLiteral("CSV files (*.csv)"));
    if (!path.isEmpty()) Recorder.Export(path);
}

void TFrameVekStat::ActionSaveImageExecute() {
    const QString path = AskSaveFileName(QStringLiteral("Save plot"), QStringLiteral("PNG images (*.png)"));
    if (path.isEmpty()) return;
    QString error;
    if (FrameGraph1->SaveImage(path, &error))
        Log(QStringLiteral("Plot saved to %1.").arg(path));
    else
        Log(QStringLiteral("Cannot save the plot to %1: %2.").arg(path, error));
}

void TFrameVekStat::CheckListBox1DblClick(int index) {
    if (index < 0 || index >= ChannelCount) return;
    TLoopBuf& buffer = FrameGraph1->Buffers[static_cast<size_t>(index)];
    const QColor color = AskColor(buffer.Color);
    if (!color.isValid()) return;
    FrameGraph1->SetChannel(index, buffer.Visible, color, false, buffer.Name, buffer.Scale);
    CheckListBox1->viewport()->update();
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
