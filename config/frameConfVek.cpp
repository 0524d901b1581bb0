#include "config/frameConfVek.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "link/Waiter.h"
#include "config/configFile.h"
#include "controls/MaskEditUpDown.h"
#include "link/comLink.h"
#include "link/identity.h"
#include "link/zuq.h"
#include "telemetry/statusRecord.h"

namespace {

constexpr int WaitTicks = 20;  // 2 seconds
// Marks the list entry that stands for a stored value no regular entry shows; holds that value.
constexpr int StoredValueRole = Qt::UserRole + 1;

const QString DownloadFailed = QStringLiteral("CONFIG downloading failed!");
const QString UploadFailed = QStringLiteral("CONFIG uploading failed!");
const QString FileFilter = QStringLiteral("Config files (*.cfg)");

TMaskEditUpDown* NewEdit(QWidget* parent, double min, double max, double increment, bool isInt) {
    auto* edit = new TMaskEditUpDown(parent);
    edit->Min = min;
    edit->Max = max;
    edit->Increment = increment;
    edit->isInt = isInt;
    edit->SetValue(min);
    // Room for values such as 100.5 or -0.25; longer texts scroll inside the field.
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000.000")) +
                        edit->UpDownWidth() + 8);
    return edit;
}

QComboBox* NewList(QWidget* parent, const QStringList& entries) {
    auto* box = new QComboBox(parent);
    box->addItems(entries);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return box;
}

// Selects entry `index`, or, for a value outside the list, an extra entry naming the stored value.
void ShowListValue(QComboBox* box, bool inList, int index, int stored, const QString& storedText) {
    for (int i = box->count() - 1; i >= 0; --i)
        if (box->itemData(i, StoredValueRole).isValid()) box->removeItem(i);
    if (inList) {
        box->setCurrentIndex(index);
        return;
    }
    box->addItem(storedText);
    box->setItemData(box->count() - 1, stored, StoredValueRole);
    box->setCurrentIndex(box->count() - 1);
}

std::optional<int> StoredListValue(const QComboBox* box) {
    const QVariant v = box->currentData(StoredValueRole);
    if (!v.isValid()) return std::nullopt;
    return v.toInt();
}

// A field shown in tenths: value x 10, halves to even, cut to the field's width.
template <typename T>
T Tenths(TMaskEditUpDown* edit) {
    const long long v = std::llrint(edit->GetValue() * 10.0);
    return T(std::make_unsigned_t<T>(v));
}

}  // namespace

TFrameConfigVek::TFrameConfigVek(QWidget* parent) : QFrame(parent) {
    for (int n = 0; n < ConfigRecordCount; ++n) Records[n] = ConfigRecord::Defaults(uint8_t(n));
    Timer3 = new QTimer(this);
    Timer3->setInterval(200);
    connect(Timer3, &QTimer::timeout, this, &TFrameConfigVek::Timer3Timer);

    AskOpenFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Open"), QString(), FileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("cfg"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().constFirst()
                   : QString();
    };
    AskSaveFileName = [this] {
        QFileDialog dialog(this, QStringLiteral("Save"), QString(), FileFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("cfg"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
                   ? dialog.selectedFiles().constFirst()
                   : QString();
    };
    ShowError = [this](const QString& text) { QMessageBox::warning(this, QStringLiteral("Vek Tool"), text); };

    CreateActions();
    CreateControls();
    ShowRecord();
}

TFrameConfigVek::~TFrameConfigVek() = default;

void TFrameConfigVek::CreateActions() {
    struct TDef {
        QAction** action;
        const char* caption;
        const char* hint;
        void (TFrameConfigVek::*execute)();
    };
    const TDef defs[] = {
        {&ActionGet, "Get", "Load config from device", &TFrameConfigVek::ActionGetExecute},
        {&ActionSet, "Set", "Save config to device", &TFrameConfigVek::ActionSetExecute},
        {&ActionFlash, "Flash", "Save config to flash", &TFrameConfigVek::ActionFlashExecute},
        {&ActionGetAll, "Get All", "Load all configs from device", &TFrameConfigVek::ActionGetAllExecute},
        {&ActionSetAll, "Flash All", "Save all configs to device flash",
         &TFrameConfigVek::ActionSetAllExecute},
        {&ActionOpenConfig, "Open", "Load config from file", &TFrameConfigVek::ActionOpenConfigExecute},
        {&ActionSaveConfig, "Save", "Save config to file", &TFrameConfigVek::ActionSaveConfigExecute},
        {&ActionOpenAll, "Open All", "Load all configs from file", &TFrameConfigVek::ActionOpenAllExecute},
        {&ActionSaveAll, "Save All", "Save all configs to file", &TFrameConfigVek::ActionSaveAllExecute},
    };
    for (const TDef& d : defs) {
        auto* action = new QAction(QString::fromLatin1(d.caption), this);
        action->setToolTip(QString::fromLatin1(d.hint));
        action->setStatusTip(QString::fromLatin1(d.hint));
        connect(action, &QAction::triggered, this, d.execute);
        *d.action = action;
    }
    ActionGetUpdate();
}

void TFrameConfigVek::CreateControls() {
    setFrameShape(QFrame::NoFrame);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    GroupBoxConfig = new QGroupBox(QStringLiteral(" Config "), this);
    outer->addWidget(GroupBoxConfig);
    auto* groupLayout = new QVBoxLayout(GroupBoxConfig);
    groupLayout->setContentsMargins(2, 2, 2, 2);

    // One horizontal strip; narrower windows scroll it sideways instead of squeezing it.
    ScrollBox = new QScrollArea(GroupBoxConfig);
    ScrollBox->setFrameShape(QFrame::NoFrame);
    ScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBox->setWidgetResizable(true);
    groupLayout->addWidget(ScrollBox);
    auto* strip = new QWidget(ScrollBox);
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);

    auto label = [](const char* text, QWidget* parent) {
        return new QLabel(QString::fromLatin1(text), parent);
    };
    auto check = [](const char* text, QWidget* parent) {
        return new QCheckBox(QString::fromLatin1(text), parent);
    };
    auto group = [&](const char* title) {
        auto* box = new QGroupBox(QString::fromLatin1(title), strip);
        box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        return box;
    };
    auto grid = [](QWidget* parent) {
        auto* g = new QGridLayout(parent);
        g->setContentsMargins(3, 3, 3, 3);
        g->setHorizontalSpacing(3);
        g->setVerticalSpacing(3);
        return g;
    };
    // One row per field from row `first` on: its caption in column 0, the field in column 1.
    auto rows = [&label](QGridLayout* g, QWidget* parent, int first,
                         std::initializer_list<std::pair<const char*, QWidget*>> fields) {
        for (const auto& [caption, field] : fields) {
            g->addWidget(label(caption, parent), first, 0);
            g->addWidget(field, first++, 1);
        }
    };

    // Left panel: "Mode :" and the tool bar.
    auto* left = new QWidget(strip);
    auto* leftGrid = grid(left);
    MaskEditUpDown2 = NewEdit(left, 0, 15, 1, true);
    rows(leftGrid, left, 0, {{"Mode :", MaskEditUpDown2}});
    MaskEditUpDown2->OnBeforeUpdate = [this] { CaptureRecord(shownRecord_); };
    MaskEditUpDown2->OnUpdate = [this] { ShowRecord(); };
    struct TButton {
        const char* caption;
        QAction* action;
    };
    const TButton buttons[10] = {
        {"Get", ActionGet},         {"Set", ActionSet},
        {"Flash", ActionFlash},     {"", nullptr},
        {"GetAll", ActionGetAll},   {"FlashAll", ActionSetAll},
        {"Open", ActionOpenConfig}, {"Save", ActionSaveConfig},
        {"OpenAll", ActionOpenAll}, {"SaveAll", ActionSaveAll},
    };
    for (int i = 0; i < 10; ++i) {
        auto* b = new QToolButton(left);
        b->setText(QString::fromLatin1(buttons[i].caption));
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        if (QAction* action = buttons[i].action) {
            b->setToolTip(action->toolTip());
            connect(b, &QToolButton::clicked, action, &QAction::trigger);
            connect(action, &QAction::changed, b, [b, action] { b->setEnabled(action->isEnabled()); });
            b->setEnabled(action->isEnabled());
        } else {
            b->setEnabled(false);
        }
        ToolButtons[i] = b;
        leftGrid->addWidget(b, 1 + i / 2, i % 2);
    }
    leftGrid->setRowStretch(6, 1);
    row->addWidget(left);

    // " Input channels "
    auto* input = group(" Input channels ");
    auto* inputGrid = grid(input);
    CheckBox1 = check("Enable PWM", input);
    CheckBox2 = check("Enable I2C", input);
    CheckBox3 = check("Enable CAN", input);
    inputGrid->addWidget(CheckBox1, 0, 0, 1, 2);
    inputGrid->addWidget(CheckBox2, 1, 0, 1, 2);
    inputGrid->addWidget(CheckBox3, 2, 0, 1, 2);
    MaskEditUpDown18 = NewEdit(input, 0, 32, 1, true);
    MaskEditUpDown22 = NewEdit(input, 0, 10, 1, true);
    rows(inputGrid, input, 3, {{"Base addr:", MaskEditUpDown18}, {"PWM Filter:", MaskEditUpDown22}});
    inputGrid->setRowStretch(5, 1);
    row->addWidget(input);

    // " Motor control ": lists and numbers on the left, option boxes on the right.
    auto* motor = group(" Motor control ");
    auto* motorGrid = grid(motor);
    QStringList timing{QStringLiteral("Auto")};
    for (int i = 0; i <= 30; ++i) timing << QString::number(i);
    QStringList carrier;
    for (int k = 0; k <= 8; ++k) carrier << QStringLiteral("%1 Hz").arg(8000 + 4000 * k);
    ComboBox1 = NewList(motor, timing);
    ComboBox2 = NewList(motor, carrier);
    ComboBox5 = NewList(motor, {QStringLiteral("+PWM -ON"), QStringLiteral("+ON -PWM"),
                                QStringLiteral("PWM  ON"), QStringLiteral("ON  PWM")});
    MaskEditUpDown11 = NewEdit(motor, 0.1, 100, 0.1, false);
    MaskEditUpDown31 = NewEdit(motor, -100, 100, 1, true);
    MaskEditUpDown16 = NewEdit(motor, 2, 100, 1, true);
    rows(motorGrid, motor, 0,
         {{"Timing:", ComboBox1},
          {"Carrier:", ComboBox2},
          {"Scheme:", ComboBox5},
          {"Accel. (%)", MaskEditUpDown11},
          {"Deaccel. (%)", MaskEditUpDown31},
          {"Poles:", MaskEditUpDown16}});
    CheckBox4 = check("Revers", motor);
    CheckBox14 = check("Smart", motor);
    CheckBox8 = check("Turbo", motor);
    CheckBox7 = check("SigmaDelta", motor);
    CheckBox9 = check("Async", motor);
    QCheckBox* motorBoxes[] = {CheckBox4, CheckBox14, CheckBox8, CheckBox7, CheckBox9};
    for (int i = 0; i < 5; ++i) motorGrid->addWidget(motorBoxes[i], i, 2);
    motorGrid->setColumnMinimumWidth(2, 0);
    motorGrid->setRowStretch(6, 1);
    connect(CheckBox14, &QCheckBox::clicked, this, &TFrameConfigVek::CheckBox14Click);
    connect(CheckBox7, &QCheckBox::clicked, this, &TFrameConfigVek::CheckBox7Click);
    row->addWidget(motor);

    // " Throttle control "
    auto* throttle = group(" Throttle control ");
    auto* throttleGrid = grid(throttle);
    MaskEditUpDown8 = NewEdit(throttle, 0, 50, 1, false);
    MaskEditUpDown9 = NewEdit(throttle, 5, 100, 1, false);
    MaskEditUpDown10 = NewEdit(throttle, 1, 40, 1, false);
    MaskEditUpDown14 = NewEdit(throttle, 0, 50, 1, false);
    MaskEditUpDown23 = NewEdit(throttle, 0, 10, 0.1, false);
    CheckBox5 = check("Safe start (%)", throttle);
    rows(throttleGrid, throttle, 0,
         {{"Min Throttle (%)", MaskEditUpDown8},
          {"Max Throttle (%)", MaskEditUpDown9},
          {"Start Throttle (%)", MaskEditUpDown10}});
    throttleGrid->addWidget(CheckBox5, 3, 0);
    throttleGrid->addWidget(MaskEditUpDown14, 3, 1);
    rows(throttleGrid, throttle, 4, {{"Slow start (s):", MaskEditUpDown23}});
    throttleGrid->setRowStretch(5, 1);
    row->addWidget(throttle);

    // " Safety control "
    auto* safety = group(" Safety control ");
    auto* safetyGrid = grid(safety);
    MaskEditUpDown5 = NewEdit(safety, 1, 200, 0.1, false);
    MaskEditUpDown6 = NewEdit(safety, 1, 200, 0.1, false);
    MaskEditUpDown7 = NewEdit(safety, 1, 150, 0.1, false);
    MaskEditUpDown15 = NewEdit(safety, 5, 50, 1, false);
    MaskEditUpDown1 = NewEdit(safety, 2, 60, 1, true);
    MaskEditUpDown12 = NewEdit(safety, 2, 60, 1, true);
    CheckBox6 = check("Low Battery Off (V)", safety);
    rows(safetyGrid, safety, 0,
         {{"Max Current (A) :", MaskEditUpDown5},
          {"Threshold Current (A) : ", MaskEditUpDown6},
          {"Threshold Temp (C) : ", MaskEditUpDown7}});
    safetyGrid->addWidget(CheckBox6, 3, 0);
    safetyGrid->addWidget(MaskEditUpDown15, 3, 1);
    // The two async fields reach back under the long captions, ending where the fields above end.
    auto* asyncRow = new QHBoxLayout;
    asyncRow->setSpacing(4);
    asyncRow->addWidget(label("Async level", safety));
    asyncRow->addStretch(1);
    asyncRow->addWidget(MaskEditUpDown1);
    asyncRow->addWidget(MaskEditUpDown12);
    safetyGrid->addLayout(asyncRow, 4, 0, 1, 2);
    safetyGrid->setRowStretch(5, 1);
    row->addWidget(safety);

    // " Tune sensors " above " Melody control "
    auto* column = new QWidget(strip);
    auto* columnLayout = new QVBoxLayout(column);
    columnLayout->setContentsMargins(0, 0, 0, 0);
    columnLayout->setSpacing(2);
    auto* tune = group(" Tune sensors ");
    auto* tuneGrid = grid(tune);
    MaskEditUpDown3 = NewEdit(tune, 0.0001, 100, 0.001, false);
    MaskEditUpDown4 = NewEdit(tune, 0.0001, 10, 0.001, false);
    rows(tuneGrid, tune, 0, {{"Scale Current", MaskEditUpDown3}, {"Scale Voltmeter", MaskEditUpDown4}});
    auto* melody = group(" Melody control ");
    auto* melodyGrid = grid(melody);
    QStringList melodies{QStringLiteral("None")};
    for (int i = 1; i <= 6; ++i) melodies << QStringLiteral("Melody %1").arg(i);
    ComboBox3 = NewList(melody, melodies);
    ComboBox4 = NewList(melody, {QStringLiteral("Together"), QStringLiteral("In turn"),
                                 QStringLiteral("Quadro"), QStringLiteral("Hexa"), QStringLiteral("Octo")});
    MaskEditUpDown19 = NewEdit(melody, 1, 100, 1, true);
    MaskEditUpDown20 = NewEdit(melody, -10, 10, 1, true);
    // Three narrow rows: the column stays as wide as " Tune sensors " above it.
    melodyGrid->addWidget(ComboBox3, 0, 0, 1, 4);
    melodyGrid->addWidget(label("Div :", melody), 1, 0);
    melodyGrid->addWidget(ComboBox4, 1, 1, 1, 3);
    melodyGrid->addWidget(label("Vol:", melody), 2, 0);
    melodyGrid->addWidget(MaskEditUpDown19, 2, 1);
    melodyGrid->addWidget(label("Temp:", melody), 2, 2);
    melodyGrid->addWidget(MaskEditUpDown20, 2, 3);
    for (QGroupBox* box : {tune, melody}) {
        box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);  // both as wide as the column
        columnLayout->addWidget(box);
    }
    columnLayout->addStretch(1);
    row->addWidget(column);

    // "3D mode"
    auto* mode3d = group("3D mode");
    auto* mode3dGrid = grid(mode3d);
    CheckBox10 = check("3D mode", mode3d);
    CheckBox11 = check("Break", mode3d);
    cxMaskEditUpDown1 = NewEdit(mode3d, -0.1, 100, 1, false);
    mode3dGrid->addWidget(CheckBox10, 0, 0);
    mode3dGrid->addWidget(CheckBox11, 1, 0);
    mode3dGrid->addWidget(label("Neutarl (%)", mode3d), 2, 0);
    mode3dGrid->addWidget(cxMaskEditUpDown1, 3, 0);
    mode3dGrid->setRowStretch(4, 1);
    row->addWidget(mode3d);
    row->addStretch(1);

    // Fields as wide as their values need, so that the whole strip fits a 1280 pixel wide window: whole
    // numbers by their range, others for values such as 100.5 or -0.25 (longer texts scroll inside).
    for (TMaskEditUpDown* edit : strip->findChildren<TMaskEditUpDown*>()) {
        const QFontMetrics metrics = edit->fontMetrics();
        const int text = edit->isInt ? std::max(metrics.horizontalAdvance(QString::number(edit->Min)),
                                                metrics.horizontalAdvance(QString::number(edit->Max))) +
                                           metrics.horizontalAdvance(QLatin1Char('0'))
                                     : metrics.horizontalAdvance(QStringLiteral("000.00"));
        edit->setFixedWidth(text + edit->UpDownWidth() + 8);
    }

    ScrollBox->setWidget(strip);
    // Tall enough for the strip, and for the sideways scroll bar below it only while the window is too
    // narrow for the whole strip.
    const int stripHeight = strip->sizeHint().height();
    const int barHeight = ScrollBox->horizontalScrollBar()->sizeHint().height();
    ScrollBox->setMinimumHeight(stripHeight);
    connect(ScrollBox->horizontalScrollBar(), &QScrollBar::rangeChanged, ScrollBox,
            [this, stripHeight, barHeight](int, int max) {
                ScrollBox->setMinimumHeight(stripHeight + (max > 0 ? barHeight : 0));
            });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    flagBoxes_ = {
        {CheckBox1, ConfigFlag::EnablePwm},  {CheckBox2, ConfigFlag::EnableI2C},
        {CheckBox3, ConfigFlag::EnableCan},  {CheckBox4, ConfigFlag::Revers},
        {CheckBox5, ConfigFlag::SafeStart},  {CheckBox6, ConfigFlag::LowBatteryOff},
        {CheckBox14, ConfigFlag::Smart},     {CheckBox8, ConfigFlag::Turbo},
        {CheckBox7, ConfigFlag::SigmaDelta}, {CheckBox9, ConfigFlag::Async},
        {CheckBox10, ConfigFlag::Mode3D},    {CheckBox11, ConfigFlag::Break},
    };
}

void TFrameConfigVek::Initialize(TComLink* port, uint8_t netBit, TLogEvent onLog) {
    Waiter = std::make_unique<TWaiter>([this](const QString& text) { LogLine(text); });
    Port = port;
    NetBit = netBit;
    OnLog = std::move(onLog);
    for (int n = 0; n < ConfigRecordCount; ++n) Records[n] = ConfigRecord::Defaults(uint8_t(n));
    ShowRecord();
    ActionGetUpdate();
}

void TFrameConfigVek::LogLine(const QString& text) {
    const QString prefix = Port != nullptr && Port->ActiveLink != 255
                               ? QStringLiteral("Vek#%1: ").arg(Port->ActiveLink)
                               : QString();
    if (OnLog) OnLog(prefix + text);
}

uint8_t TFrameConfigVek::Channel() const {
    return uint8_t(zuq::ChannelApp | NetBit);
}

bool TFrameConfigVek::Connected() const {
    return Port != nullptr && Port->IsOpen();
}

int TFrameConfigVek::SelectedRecord() {
    const int n = MaskEditUpDown2->GetIntValue();
    return n < 0 ? 0 : (n >= ConfigRecordCount ? ConfigRecordCount - 1 : n);
}

int TFrameConfigVek::SyncRecordOnScreen() {
    // "Mode :" may hold a number typed but not committed (a tool button takes no focus): the controls
    // still hold the earlier record, so they go into that one before the typed number takes effect.
    const int n = SelectedRecord();
    if (n != shownRecord_) {
        CaptureRecord(shownRecord_);
        MaskEditUpDown2->SetValue(n);
        ShowRecord();
    }
    return n;
}

void TFrameConfigVek::SelectRecord(int n) {
    MaskEditUpDown2->SetValue(n);
    if (SelectedRecord() == shownRecord_) return;
    CaptureRecord(shownRecord_);
    ShowRecord();
}

void TFrameConfigVek::IdentityReceived() {
    MaskEditUpDown2->SetValue(shownRecord_);
    Identified = true;
}

// ---- screen and record -------------------------------------------------------------------------

void TFrameConfigVek::CaptureRecord() {
    CaptureRecord(SelectedRecord());
}

void TFrameConfigVek::CaptureRecord(int n) {
    if (n < 0 || n >= ConfigRecordCount) return;
    for (int i = 0; i < ConfigRecordCount; ++i) Records[i].Number = uint8_t(i);
    ConfigRecord& r = Records[n];
    uint16_t flags = 0;
    for (const auto& [box, mask] : flagBoxes_)
        if (box->isChecked()) flags |= mask;
    r.Flags = flags;
    r.Scale_Current = float(MaskEditUpDown3->GetValue());
    r.Scale_Voltmeter = float(MaskEditUpDown4->GetValue());
    const auto timing = StoredListValue(ComboBox1);
    r.Timing = timing ? int8_t(*timing) : int8_t(ComboBox1->currentIndex() - 1);
    const auto carrier = StoredListValue(ComboBox2);
    r.Freq_PWM = carrier ? uint16_t(*carrier) : uint16_t(8000 + 4000 * ComboBox2->currentIndex());
    r.Max_Current = Tenths<uint16_t>(MaskEditUpDown5);
    r.Limit_Current = Tenths<uint16_t>(MaskEditUpDown6);
    r.Limit_Temp = Tenths<int16_t>(MaskEditUpDown7);
    r.min_PWM = Tenths<uint16_t>(MaskEditUpDown8);
    r.max_PWM = Tenths<uint16_t>(MaskEditUpDown9);
    r.start_PWM = Tenths<uint16_t>(MaskEditUpDown10);
    r.accel_PWM = Tenths<uint16_t>(MaskEditUpDown11);
    r.safe_PWM = Tenths<uint16_t>(MaskEditUpDown14);
    r.off_Bat = Tenths<uint16_t>(MaskEditUpDown15);
    r.SlowStart = Tenths<uint8_t>(MaskEditUpDown23);
    r.poles = uint8_t(MaskEditUpDown16->GetIntValue());
    r.baseAddr = uint8_t(MaskEditUpDown18->GetIntValue());
    const auto melody = StoredListValue(ComboBox3);
    r.musicIx = melody ? uint8_t(*melody) : uint8_t(ComboBox3->currentIndex());
    r.musicVolume = uint8_t(MaskEditUpDown19->GetIntValue());
    r.musicTempo = uint8_t(10 - MaskEditUpDown20->GetIntValue());
    r.PWMFilter = uint8_t(MaskEditUpDown22->GetIntValue());
    const int divide = ComboBox4->currentIndex();
    r.musicDivide = uint8_t(divide > 3 || divide < 0 ? 0 : divide);
    r.deAccel = int8_t(MaskEditUpDown31->GetIntValue());
    r.map = uint8_t(ComboBox5->currentIndex() < 0 ? 0 : ComboBox5->currentIndex());
    r.asyncLevel = uint8_t(MaskEditUpDown1->GetIntValue());
    r.asyncLevel2 = uint8_t(MaskEditUpDown12->GetIntValue());
    r.neutral3D = uint8_t(cxMaskEditUpDown1->GetIntValue());
}

void TFrameConfigVek::ShowRecord() {
    const int n = SelectedRecord();
    for (int i = 0; i < ConfigRecordCount; ++i) Records[i].Number = uint8_t(i);
    ConfigRecord& r = Records[n];
    GroupBoxConfig->setTitle(QString::asprintf(" Config v %d.%d ", r.Version >> 8, r.Version & 0xFF));
    for (const auto& [box, mask] : flagBoxes_) box->setChecked((r.Flags & mask) != 0);

    MaskEditUpDown3->SetValue(double(r.Scale_Current));
    MaskEditUpDown4->SetValue(double(r.Scale_Voltmeter));
    ShowListValue(ComboBox1, r.Timing >= -1 && r.Timing <= 30, r.Timing + 1, r.Timing,
                  QStringLiteral("%1 (stored)").arg(r.Timing));
    const int k = (int(r.Freq_PWM) - 8000) / 4000;
    const bool carrierInList = r.Freq_PWM >= 8000 && (r.Freq_PWM - 8000) % 4000 == 0 && k <= 8;
    ShowListValue(ComboBox2, carrierInList, k, r.Freq_PWM, QStringLiteral("%1 Hz (stored)").arg(r.Freq_PWM));
    MaskEditUpDown5->SetValue(r.Max_Current / 10.0);
    MaskEditUpDown6->SetValue(r.Limit_Current / 10.0);
    MaskEditUpDown7->SetValue(r.Limit_Temp / 10.0);
    MaskEditUpDown8->SetValue(r.min_PWM / 10.0);
    MaskEditUpDown9->SetValue(r.max_PWM / 10.0);
    MaskEditUpDown10->SetValue(r.start_PWM / 10.0);
    MaskEditUpDown11->SetValue(r.accel_PWM / 10.0);
    MaskEditUpDown14->SetValue(r.safe_PWM / 10.0);
    MaskEditUpDown15->SetValue(r.off_Bat / 10.0);
    MaskEditUpDown23->SetValue(r.SlowStart / 10.0);
    MaskEditUpDown16->SetValue(r.poles);
    MaskEditUpDown18->SetValue(r.baseAddr);
    ShowListValue(ComboBox3, r.musicIx <= 6, r.musicIx, r.musicIx,
                  QStringLiteral("%1 (stored)").arg(r.musicIx));
    MaskEditUpDown19->SetValue(r.musicVolume);
    MaskEditUpDown20->SetValue(10.0 - r.musicTempo);
    MaskEditUpDown22->SetValue(r.PWMFilter);
    if (r.musicDivide > 3) r.musicDivide = 0;
    ComboBox4->setCurrentIndex(r.musicDivide);
    MaskEditUpDown31->SetValue(r.deAccel);
    ComboBox5->setCurrentIndex(ComboBox5->count() > r.map ? r.map : 0);
    MaskEditUpDown1->SetValue(r.asyncLevel);
    MaskEditUpDown12->SetValue(r.asyncLevel2);
    cxMaskEditUpDown1->SetValue(r.neutral3D);
    shownRecord_ = n;
}

void TFrameConfigVek::CheckBox14Click() {
    if (CheckBox14->isChecked()) CheckBox7->setChecked(false);
}

void TFrameConfigVek::CheckBox7Click() {
    if (CheckBox7->isChecked()) CheckBox14->setChecked(false);
}

// ---- transfers ---------------------------------------------------------------------------------

void TFrameConfigVek::StartDownloadWait() {
    Waiter->Start(WaitTicks, DownloadFailed, {}, [this] { DownloadNext(); });
}

void TFrameConfigVek::StartUploadWait(bool retry) {
    if (retry)
        Waiter->Start(WaitTicks, UploadFailed, {}, [this] { UploadNext(); });
    else
        Waiter->Start(WaitTicks, UploadFailed);
}

void TFrameConfigVek::SendConfigGet(int n) {
    if (Port) Port->SendCommandByte(Channel(), zuq::Cmd::ConfigGet, uint8_t(n));
}

void TFrameConfigVek::SendRecord(uint8_t command, int n) {
    const TConfigBytes bytes = Records[n].ToBytes();
    if (Port) Port->SendCommandData(Channel(), command, bytes.data(), uint8_t(bytes.size()));
}

void TFrameConfigVek::ActionGetExecute() {
    const int n = SyncRecordOnScreen();
    if (!Connected()) return;
    LogLine(QStringLiteral("Downloading CONFIG #%1 data...").arg(n));
    StartDownloadWait();
    Pending.fill(0);
    Pending[n] = 3;
    SendConfigGet(n);
}

void TFrameConfigVek::ActionGetAllExecute() {
    if (!Connected()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    LogLine(QStringLiteral("Downloading CONFIG #%1 data...").arg(0));
    StartDownloadWait();
    Pending.fill(3);
    SendConfigGet(0);
}

void TFrameConfigVek::DownloadNext() {
    int n = 0;
    while (n < ConfigRecordCount && Pending[n] <= 0) ++n;
    if (n == ConfigRecordCount) return;
    LogLine((Pending[n] == 3 ? QStringLiteral("Downloading CONFIG #%1 data...")
                             : QStringLiteral("Retry downloading CONFIG #%1 data..."))
                .arg(n));
    --Pending[n];
    StartDownloadWait();
    SendConfigGet(n);
}

void TFrameConfigVek::ActionSetExecute() {
    const int n = SyncRecordOnScreen();
    CaptureRecord(n);
    if (!Connected()) return;
    Pending.fill(0);
    Pending[n] = 3;
    UploadIndex = n;
    SendRecord(zuq::Cmd::ConfigSet, n);
    LogLine(QStringLiteral("Uploading CONFIG #%1 data...").arg(n));
    StartUploadWait(false);  // a write to RAM is not repeated
}

void TFrameConfigVek::ActionFlashExecute() {
    const int n = SyncRecordOnScreen();
    CaptureRecord(n);
    if (!Connected()) return;
    Pending.fill(0);
    Pending[n] = 3;
    UploadIndex = n;
    SendRecord(zuq::Cmd::ConfigFlash, n);
    LogLine(QStringLiteral("Uploading CONFIG #%1 data...").arg(n));
    StartUploadWait(true);
}

void TFrameConfigVek::ActionSetAllExecute() {
    if (!Connected()) return;
    // The record on screen goes out with its edits, as every other record goes out as it is in memory.
    SyncRecordOnScreen();
    CaptureRecord();
    for (int n = 0; n < ConfigRecordCount; ++n) Records[n].Number = uint8_t(n);
    Pending.fill(3);
    UploadIndex = 0;
    SendRecord(zuq::Cmd::ConfigFlash, 0);
    LogLine(QStringLiteral("Uploading CONFIG #%1 data...").arg(0));
    StartUploadWait(true);
}

void TFrameConfigVek::UploadNext() {
    if (!Connected()) return;
    int n = 0;
    while (n < ConfigRecordCount && Pending[n] <= 0) ++n;
    if (n == ConfigRecordCount) return;
    LogLine((Pending[n] == 3 ? QStringLiteral("Uploading CONFIG #%1 data...")
                             : QStringLiteral("Retry uploading CONFIG #%1 data..."))
                .arg(n));
    --Pending[n];
    UploadIndex = n;
    SendRecord(zuq::Cmd::ConfigFlash, n);
    StartUploadWait(true);
}

void TFrameConfigVek::ActionGetUpdate() {
    const bool enabled = Connected() && (Port->ActiveLink != 255 || NetBit == 0);
    for (QAction* a : {ActionGet, ActionSet, ActionFlash, ActionGetAll, ActionSetAll})
        if (a != nullptr && a->isEnabled() != enabled) a->setEnabled(enabled);
}

// ---- replies and detection ---------------------------------------------------------------------

bool TFrameConfigVek::HandleReply(const uint8_t* payload, uint8_t length) {
    if (payload == nullptr || length == 0) return true;
    const uint8_t* args = payload + 1;
    const size_t argCount = size_t(length) - 1;
    switch (payload[0]) {
        case zuq::Cmd::Echo:
            LogLine(QStringLiteral("Echo is received."));
            return false;
        case zuq::Cmd::Identify: {
            const TIdentity id = DecodeIdentity(payload, length);
            LogLine(QStringLiteral("FW: %1 SN: %2")
                        .arg(id.Firmware, QStringLiteral("%1").arg(id.Serial, 8, 16, QChar('0')).toUpper()));
            Identified = true;
            return false;
        }
        case zuq::Cmd::ConfigData: {
            if (Waiter) Waiter->Cancel();
            const ConfigRecord r = ConfigRecord::FromBytes(args, argCount);
            if (r.IsValid()) {
                Pending[r.Number] = 0;
                Records[r.Number] = r;
                ShowRecord();
                LogLine(QStringLiteral("Config #%1 v%2.%3 downloaded.")
                            .arg(r.Number)
                            .arg(r.Version >> 8)
                            .arg(r.Version & 0xFF));
            } else {
                LogLine(QStringLiteral("Config #%1 is corrupted.").arg(r.Number));
            }
            DownloadNext();
            return false;
        }
        case zuq::Cmd::Status:
            LastStatus.fill(0);
            std::copy(args, args + std::min(argCount, LastStatus.size()), LastStatus.begin());
            StatusSeen = true;
            return true;  // the status frame decodes it as well
        case zuq::Cmd::Detected:
            LogLine(QStringLiteral("Vek detected."));
            DetectState = 1;
            Timer3->start();
            return false;
        case zuq::Cmd::ConfigUploaded: {
            // Missing argument bytes read as 0.
            const uint8_t acknowledged = argCount >= 1 ? args[0] : 0;
            if (acknowledged == zuq::Cmd::ConfigSet) {
                if (Waiter) Waiter->Cancel();
                if (UploadIndex >= 0 && UploadIndex < ConfigRecordCount) Pending[UploadIndex] = 0;
                LogLine(QStringLiteral("Config #%1 uploaded.").arg(UploadIndex));
                UploadNext();
            }
            return false;
        }
        default:
            return true;
    }
}

void TFrameConfigVek::Timer3Timer() {
    switch (DetectState) {
        case 1:
            StatusSeen = false;
            DetectState = 2;
            break;
        case 2:
            if (StatusSeen) {
                DetectState = 3;
            } else if (Connected()) {
                Port->SendCommandByte(Channel(), zuq::Cmd::StatusRequest, 0);
            } else {
                // Nothing can answer a closed port: the sequence ends.
                Timer3->stop();
                DetectState = 0;
            }
            break;
        case 3:
            SelectRecord(StatusRecord::FromBytes(LastStatus.data(), LastStatus.size()).Mode);
            ActionGetExecute();
            DetectState = 4;
            break;
        default:
            Timer3->stop();
            DetectState = 0;
            break;
    }
}

// ---- record files ------------------------------------------------------------------------------

void TFrameConfigVek::FileFailed(const QString& what, const QString& fileName, const QString& why) {
    const QString text = QStringLiteral("File %1 is not %2: %3").arg(fileName, what, why);
    LogLine(text);
    if (ShowError) ShowError(text);
}

void TFrameConfigVek::OpenFile(bool all) {
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    if (name.isEmpty()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    const QString fullName = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
    CSimpleIniA ini;
    QString why;
    if (!ReadConfigFile(name, ini, &why)) {
        FileFailed(QStringLiteral("opened"), fullName, why);
        return;
    }
    if (all) {
        for (int n = 0; n < ConfigRecordCount; ++n)
            LoadRecord(ini, ConfigSectionName(n).toLatin1().constData(), Records[n]);
    } else {
        LoadRecord(ini, "Config", Records[SelectedRecord()]);
    }
    ShowRecord();
    LogLine(QStringLiteral("File %1 is opened").arg(fullName));
}

void TFrameConfigVek::SaveFile(bool all) {
    const QString name = AskSaveFileName ? AskSaveFileName() : QString();
    if (name.isEmpty()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    const QString fullName = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
    CSimpleIniA ini;
    QString why;
    // The file's other sections and keys stay; a file that exists but cannot be read is not replaced.
    if (QFileInfo::exists(name) && !ReadConfigFile(name, ini, &why)) {
        FileFailed(QStringLiteral("saved"), fullName, why);
        return;
    }
    const QChar separator = TMaskEditUpDown::DecimalSeparator();
    if (all) {
        for (int n = 0; n < ConfigRecordCount; ++n)
            SaveRecord(ini, ConfigSectionName(n).toLatin1().constData(), Records[n], separator);
    } else {
        SaveRecord(ini, "Config", Records[SelectedRecord()], separator);
    }
    if (!WriteConfigFile(name, ini, &why)) {
        FileFailed(QStringLiteral("saved"), fullName, why);
        return;
    }
    LogLine(QStringLiteral("File %1 is saved").arg(fullName));
}

void TFrameConfigVek::ActionOpenConfigExecute() {
    OpenFile(false);
}
void TFrameConfigVek::ActionSaveConfigExecute() {
    SaveFile(false);
}
void TFrameConfigVek::ActionOpenAllExecute() {
    OpenFile(true);
}
void TFrameConfigVek::ActionSaveAllExecute() {
    SaveFile(true);
}
