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
#include <QToolButton>
#include <QVBoxLayout>

#include "config/configFile.h"
#include "controls/MaskEditUpDown.h"
#include "link/zuq.h"

namespace {

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

}  // namespace

TFrameConfigVek::TFrameConfigVek(QWidget* parent) : QFrame(parent) {
    // Only the record on screen is redrawn: edits on screen of another record stay.
    Transfer.OnRecordReceived = [this](int n) {
        if (n == shownRecord_) ShowRecord();
    };
    Transfer.OnSelectRecord = [this](int n) { SelectRecord(n); };
    Transfer.OnTransferStarted = [this](TConfigTransfer::TDirection) { ActionGetUpdate(); };
    Transfer.OnTransferEnded = [this](TConfigTransfer::TEnd) { ActionGetUpdate(); };

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
        {&ActionStop, "Stop", "Stop the running config transfer", &TFrameConfigVek::ActionStopExecute},
    };
    for (const TDef& d : defs) {
        auto* action = new QAction(QString::fromLatin1(d.caption), this);
        action->setToolTip(QString::fromLatin1(d.hint));
        action->setStatusTip(QString::fromLatin1(d.hint));
        connect(action, &QAction::triggered, this, d.execute);
        *d.action = action;
    }
    // Esc stops a transfer wherever the focus is; while none runs the action is off and Esc goes on.
    ActionStop->setShortcut(QKeySequence(Qt::Key_Escape));
    ActionStop->setShortcutContext(Qt::ApplicationShortcut);
    addAction(ActionStop);
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
    NetBit = netBit;
    Transfer.OnLog = std::move(onLog);
    if (port != nullptr) Transfer.Initialize(*port, [this] { return NetBit; });
    ShowRecord();
    ActionGetUpdate();
}

void TFrameConfigVek::LogLine(const QString& text) {
    Transfer.LogLine(text);
}

void TFrameConfigVek::IdentityReceived() {
    MaskEditUpDown2->SetValue(shownRecord_);
    Identified = true;
}

// ---- transfers, replies and detection ---------------------------------------------------------

void TFrameConfigVek::ActionGetExecute() {
    const int n = SyncRecordOnScreen();
    Transfer.Read(n, n);
}

void TFrameConfigVek::ActionGetAllExecute() {
    if (!Transfer.Connected() || Transfer.Busy()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    Transfer.Read(0, ConfigRecordCount - 1);
}

void TFrameConfigVek::ActionSetExecute() {
    const int n = SyncRecordOnScreen();
    CaptureRecord(n);
    Transfer.Write(n, n, TConfigTransfer::TDirection::WriteRam);
}

void TFrameConfigVek::ActionFlashExecute() {
    const int n = SyncRecordOnScreen();
    CaptureRecord(n);
    Transfer.Write(n, n, TConfigTransfer::TDirection::WriteFlash);
}

void TFrameConfigVek::ActionSetAllExecute() {
    if (!Transfer.Connected() || Transfer.Busy()) return;
    // The record on screen goes out with its edits, as every other record goes out as it is in memory.
    SyncRecordOnScreen();
    CaptureRecord();
    Transfer.Write(0, ConfigRecordCount - 1, TConfigTransfer::TDirection::WriteFlash);
}

void TFrameConfigVek::ActionStopExecute() {
    Transfer.Abandon();
}

void TFrameConfigVek::ActionGetUpdate() {
    const auto enable = [](QAction* a, bool on) {
        if (a != nullptr && a->isEnabled() != on) a->setEnabled(on);
    };
    const bool ready = Transfer.Ready();
    for (QAction* a : {ActionGet, ActionSet, ActionFlash, ActionGetAll, ActionSetAll}) enable(a, ready);
    for (QAction* a : {ActionOpenConfig, ActionOpenAll, ActionSaveAll}) enable(a, !Transfer.Busy());
    enable(ActionStop, Transfer.Running());
}

bool TFrameConfigVek::HandleReply(const uint8_t* payload, uint8_t length) {
    if (payload != nullptr && length > 0) {
        // A record may arrive while "Mode :" holds a typed number: the screen goes into its record first.
        if (payload[0] == zuq::Cmd::ConfigData) SyncRecordOnScreen();
        if (payload[0] == zuq::Cmd::Identify) Identified = true;
    }
    return Transfer.HandleReply(payload, length);
}

// ---- record files ------------------------------------------------------------------------------

void TFrameConfigVek::FileFailed(const QString& what, const QString& fileName, const QString& why) {
    const QString text = QStringLiteral("File %1 is not %2: %3").arg(fileName, what, why);
    LogLine(text);
    if (ShowError) ShowError(text);
}

void TFrameConfigVek::OpenFile(bool all) {
    if (Transfer.Busy()) return;  // the records are being transferred
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    if (name.isEmpty()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    const QString fullName = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
    QString why;
    if (!OpenRecordFile(name, Records, all ? -1 : SelectedRecord(), &why))
        return FileFailed(QStringLiteral("opened"), fullName, why);
    ShowRecord();
    LogLine(QStringLiteral("File %1 is opened").arg(fullName));
}

void TFrameConfigVek::SaveFile(bool all) {
    if (all && Transfer.Busy()) return;  // a read in progress would save a mix of old and new records
    const QString name = AskSaveFileName ? AskSaveFileName() : QString();
    if (name.isEmpty()) return;
    SyncRecordOnScreen();
    CaptureRecord();
    const QString fullName = QDir::toNativeSeparators(QFileInfo(name).absoluteFilePath());
    QString why;
    if (!SaveRecordFile(name, Records, all ? -1 : SelectedRecord(), &why,
                        TMaskEditUpDown::DecimalSeparator()))
        return FileFailed(QStringLiteral("saved"), fullName, why);
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
