#include "app/testControl.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "controls/MaskEditUpDown.h"
#include "link/comLink.h"
#include "link/littleEndian.h"
#include "link/zuq.h"

namespace {

QToolButton* BoldButton(QWidget* parent, const QColor& color) {
    auto* button = new QToolButton(parent);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, color);
    button->setPalette(palette);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumSize(72, 36);
    return button;
}

TMaskEditUpDown* NumberEdit(QWidget* parent, double min, double max, double increment, const char* text,
                            bool isInt = false) {
    auto* edit = new TMaskEditUpDown(parent);
    edit->Min = min;
    edit->Max = max;
    edit->Increment = increment;
    edit->isInt = isInt;
    edit->setText(QString::fromLatin1(text));
    return edit;
}

}  // namespace

TTestControl::TTestControl(QWidget* parent) : QGroupBox(QStringLiteral(" TEST Control "), parent) {
    setFixedHeight(71);

    ActionRun = new QAction(QStringLiteral("RUN"), this);
    ActionRun->setObjectName(QStringLiteral("ActionRun"));
    ActionRun->setStatusTip(QStringLiteral("Start or stop motor"));
    ActionRun->setToolTip(QStringLiteral("Start or stop motor"));
    ActionRun->setShortcut(QKeySequence(Qt::Key_F5));
    ActionRun->setShortcutContext(Qt::WindowShortcut);
    ActionRun->setCheckable(true);
    ActionRun->setEnabled(false);
    ActionMelody = new QAction(QStringLiteral("MELODY"), this);
    ActionMelody->setObjectName(QStringLiteral("ActionMelody"));
    ActionMelody->setStatusTip(QStringLiteral("Play melody"));
    ActionMelody->setToolTip(QStringLiteral("Play melody"));
    ActionMelody->setShortcut(QKeySequence(Qt::Key_F9));
    ActionMelody->setShortcutContext(Qt::WindowShortcut);
    ActionMelody->setEnabled(false);
    // A held key toggles once: a held F5 must never leave the motor running by an odd repeat count.
    ActionRun->setAutoRepeat(false);
    ActionMelody->setAutoRepeat(false);
    connect(ActionRun, &QAction::triggered, this, &TTestControl::ActionRunExecute);
    // Stopping is only the end of the stream: throttle still waiting to go out must not follow it.
    connect(ActionRun, &QAction::toggled, this, [this](bool down) {
        if (!down && port_ != nullptr) port_->DiscardQueued(zuq::Cmd::Throttle);
    });
    connect(ActionMelody, &QAction::triggered, this, &TTestControl::ActionMelodyExecute);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 2, 6, 4);

    // The button shows the action: it is down exactly while the action is checked.
    SpeedButton1 = BoldButton(this, QColor(0, 128, 0));
    SpeedButton1->setDefaultAction(ActionRun);
    row->addWidget(SpeedButton1);

    auto* throttleBox = new QVBoxLayout;
    auto* throttleHead = new QHBoxLayout;
    throttleHead->addWidget(new QLabel(QStringLiteral("Throttle (%)"), this));
    MaskEditUpDown17 = NumberEdit(this, 0, 100, 0.1, "0");
    MaskEditUpDown17->setMaximumWidth(90);
    throttleHead->addWidget(MaskEditUpDown17);
    throttleHead->addStretch();
    throttleBox->addLayout(throttleHead);
    TrackBar1 = new QSlider(Qt::Horizontal, this);
    TrackBar1->setRange(0, 1000);
    TrackBar1->setSingleStep(10);
    TrackBar1->setPageStep(100);
    TrackBar1->setTickInterval(100);
    TrackBar1->setTickPosition(QSlider::TicksBothSides);
    TrackBar1->setMinimumWidth(200);
    throttleBox->addWidget(TrackBar1);
    row->addLayout(throttleBox, 3);

    RadioGroup1 = new QGroupBox(QStringLiteral(" Type "), this);
    auto* types = new QHBoxLayout(RadioGroup1);
    types->setContentsMargins(4, 0, 4, 0);
    RadioGroup1Buttons = new QButtonGroup(RadioGroup1);
    const char* names[] = {"Switch", "Random", "Linear"};
    for (int i = 0; i < 3; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(names[i]), RadioGroup1);
        RadioGroup1Buttons->addButton(radio, i);
        types->addWidget(radio);
    }
    RadioGroup1Buttons->button(0)->setChecked(true);
    row->addWidget(RadioGroup1);

    CheckBox13 = new QCheckBox(QStringLiteral("Dinamic (%):"), this);
    row->addWidget(CheckBox13);
    MaskEditUpDown21 = NumberEdit(this, 1, 100, 1, "10");
    MaskEditUpDown21->setMaximumWidth(70);
    row->addWidget(MaskEditUpDown21);

    row->addWidget(new QLabel(QStringLiteral("Interval (ms):"), this));
    MaskEditUpDown30 = NumberEdit(this, 10, 5000, 10, "50", true);
    MaskEditUpDown30->setMaximumWidth(80);
    row->addWidget(MaskEditUpDown30);
    row->addStretch(1);

    SpeedButton3 = BoldButton(this, QColor(255, 0, 255));
    SpeedButton3->setDefaultAction(ActionMelody);
    row->addWidget(SpeedButton3);

    connect(TrackBar1, &QSlider::valueChanged, this, &TTestControl::TrackBar1Change);
    MaskEditUpDown17->OnUpdate = [this]() { MaskEditUpDown17Update(); };
    MaskEditUpDown21->OnUpdate = [this]() { MaskEditUpDown17Update(); };
    MaskEditUpDown30->OnUpdate = [this]() { MaskEditUpDown30Update(); };
    connect(RadioGroup1Buttons, &QButtonGroup::idClicked, this, &TTestControl::RadioGroup1Click);
}

TTestControl::~TTestControl() {
    Shutdown();
}

void TTestControl::Initialize(TComLink* port, std::function<uint8_t()> netBit,
                              std::function<TThrottleLimits()> limits, bool startPacing) {
    port_ = port;
    netBit_ = std::move(netBit);
    limits_ = std::move(limits);
    RunInterval = 50;
    if (startPacing && !RunThread) {
        RunThread = std::make_shared<TRunThread>();
        RunThread->ReadInterval = [this]() { return RunInterval; };
        RunThread->OnTick = [this]() { Timer25Timer(); };
        RunThread->WantTicks(ActionRun->isChecked());
        connect(ActionRun, &QAction::toggled, this, [this](bool down) {
            if (RunThread) RunThread->WantTicks(down);
        });
        RunThread->Start();
    }
    Wave.ResetLinear();
    // Esc releases RUN whichever widget or window of the program has the focus.
    qApp->installEventFilter(this);
}

void TTestControl::Shutdown() {
    if (qApp) qApp->removeEventFilter(this);
    ReleaseRun();
    if (RunThread) {
        RunThread->Stop();
        RunThread.reset();
    }
}

bool TTestControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && Running()) ReleaseRun();
    }
    return QGroupBox::eventFilter(watched, event);
}

bool TTestControl::Connected() const {
    return port_ != nullptr && port_->IsOpen();
}

uint8_t TTestControl::Channel() const {
    return uint8_t(zuq::ChannelApp | (netBit_ ? netBit_() : 0));
}

void TTestControl::ReleaseRun() {
    if (ActionRun->isChecked()) ActionRun->setChecked(false);
}

bool TTestControl::Running() const {
    return ActionRun->isChecked();
}

void TTestControl::UpdateActions() {
    ActionRunUpdate();
    ActionMelodyUpdate();
}

void TTestControl::Timer25Timer() {
    if (!Running()) return;
    if (!Connected() || (LinkReady && !LinkReady())) {
        // The connection or the link went away between two updates of the action.
        ReleaseRun();
        return;
    }
    TThrottleInput input;
    input.Throttle = MaskEditUpDown17->GetValue();
    input.Dynamic = CheckBox13->isChecked();
    if (input.Dynamic) {
        if (limits_) input.Limits = limits_();
        input.Amplitude = MaskEditUpDown21->GetValue();
        input.Type = TWaveType(std::max(0, RadioGroup1Buttons->checkedId()));
    }
    const uint16_t value = Wave.Next(input);
    uint8_t data[2];
    le::Put16(data, value);
    port_->SendCommandData(Channel(), zuq::Cmd::Throttle, data, 2);
}

void TTestControl::ActionRunExecute() {
    // The action has toggled its checked state; the button shows it as its default action.
    SpeedButton1->setChecked(ActionRun->isChecked());
}

void TTestControl::ActionRunUpdate() {
    const bool ready = Connected() && (!LinkReady || LinkReady());
    ActionRun->setEnabled(ready);
    if (!ready) ReleaseRun();
}

void TTestControl::ActionMelodyExecute() {
    if (!Connected()) return;
    port_->SendCommandByte(Channel(), zuq::Cmd::Melody, 0);
}

void TTestControl::ActionMelodyUpdate() {
    ActionMelody->setEnabled(Connected());
    ActionRunUpdate();
}

void TTestControl::TrackBar1Change() {
    MaskEditUpDown17->SetValue(TrackBar1->value() / 10.0);
}

void TTestControl::MaskEditUpDown17Update() {
    // SetValue raises no event, so the slider and the edit never call each other in a loop.
    TrackBar1->setValue(int(std::lrint(MaskEditUpDown17->GetValue() * 10.0)));
}

void TTestControl::MaskEditUpDown30Update() {
    RunInterval = MaskEditUpDown30->GetIntValue();
}

void TTestControl::RadioGroup1Click() {
    Wave.ResetLinear();
}
