#include "link/frameConnect.h"

#include <SimpleIni.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QThread>
#include <QToolButton>
#include <limits>

#include "link/comcon.h"

namespace {
const char* const Section = "Comm";
const QString RefreshEntry = QStringLiteral("Refresh");

// The port list; a long path is shortened in its middle, so that the device's own name stays readable.
class TPortComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionComboBox option;
        initStyleOption(&option);
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        const QRect field =
            style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
        option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    }
};

QToolButton* MakeButton(QWidget* parent, const QString& caption) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setAutoRaise(true);  // flat
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

// Empties the list and fills it with the ports, each with its description as its tooltip.
void FillPortList(QComboBox* list) {
    list->clear();
    for (const TPortEntry& port : EnumPorts()) {
        list->addItem(QString::fromStdString(port.Name));
        list->setItemData(list->count() - 1, port.ToolTip(), Qt::ToolTipRole);
    }
}

// An integer key of the settings file; a missing, malformed or out-of-range value keeps `current`.
template <typename T>
T ReadInt(const CSimpleIniA& ini, const char* key, T current) {
    const long long value = ini.GetLongValue(Section, key, static_cast<long>(current));
    if (value < static_cast<long long>(std::numeric_limits<T>::min()) ||
        value > static_cast<long long>(std::numeric_limits<T>::max()))
        return current;
    return static_cast<T>(value);
}
}  // namespace

TFrameConnectPort::TFrameConnectPort(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("FrameConnectPort"));
    Label3 = new QLabel(QStringLiteral("Port :"), this);
    ComboBox1 = new TPortComboBox(this);
    ComboBox1->setEditable(false);
    ComboBox1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ComboBox1->setMinimumContentsLength(18);
    Connect = MakeButton(this, QStringLiteral("Connect"));
    Button1 = MakeButton(this, QStringLiteral("Disconnect"));
    Button4 = MakeButton(this, QStringLiteral("Config"));
    Button2 = MakeButton(this, QStringLiteral("Ping"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(4);
    row->addWidget(Label3);
    row->addWidget(ComboBox1, 1);
    row->addWidget(Connect);
    row->addWidget(Button1);
    row->addWidget(Button4);
    row->addWidget(Button2);
    setMinimumSize(440, 34);

    connect(ComboBox1, &QComboBox::activated, this, [this](int) { ComboBox1Click(); });
    connect(Connect, &QToolButton::clicked, this, &TFrameConnectPort::ConnectClick);
    connect(Button1, &QToolButton::clicked, this, &TFrameConnectPort::Button1Click);
    connect(Button4, &QToolButton::clicked, this, &TFrameConnectPort::Button4Click);
    AnswerWaiter = new TWaiter(
        [this](const QString& line) {
            if (OnLog) OnLog(line);
        },
        this);
    // Without a settings file the first connection runs at the documented defaults, not at whatever
    // the driver was left at (9600 on Linux).
    SetDefaults();
    UpdateButtons();
}

TFrameConnectPort::~TFrameConnectPort() {
    if (ComRW) ComRW->SetActive(false);
}

void TFrameConnectPort::InitPort(TComRW::TPacketEvent onPacket, TComRW::TRawDataEvent onRawData,
                                 TComRW::TDeviceLostEvent onDeviceLost) {
    if (!ComRW) ComRW = std::make_unique<TComRW>();
    ComRW->OnPacket = [this, onPacket = std::move(onPacket)](const uint8_t* payload, uint8_t length,
                                                             uint8_t channel) {
        AnswerWaiter->Cancel();  // the controller is there, whatever it said
        if (onPacket) onPacket(payload, length, channel);
    };
    ComRW->OnRawData = std::move(onRawData);
    ComRW->OnDeviceLost = std::move(onDeviceLost);
    ComRW->SetLineSettings(LineSettings);
    PortName.clear();
}

bool TFrameConnectPort::IsConnected() const {
    return ComRW && ComRW->Active();
}

std::string TFrameConnectPort::LastError() const {
    return ComRW ? ComRW->LastError() : std::string();
}

std::string TFrameConnectPort::RefusedSetting() const {
    return ComRW ? ComRW->RefusedSetting() : std::string();
}

TDCB TFrameConnectPort::LineInUse() const {
    TDCB settings = LineSettings;
    if (ComRW) ComRW->LineInUse(settings);
    return settings;
}

void TFrameConnectPort::RefreshPorts() {
    if (IsConnected()) {
        ComRW->SetActive(false);
        if (OnLog)
            OnLog(QStringLiteral("Port %1 closed to list the ports again.")
                      .arg(QString::fromStdString(ComRW->PortName)));
    }
    // Give a just-closed adapter time to settle before the system is asked for its ports.
    QThread::msleep(200);
    FillPortList(ComboBox1);
    ComboBox1->addItem(RefreshEntry);
    ComboBox1->setItemData(ComboBox1->count() - 1, QStringLiteral("List the serial ports again"),
                           Qt::ToolTipRole);
    const int remembered = ComboBox1->findText(QString::fromStdString(PortName), Qt::MatchExactly);
    ComboBox1->setCurrentIndex(remembered >= 0 ? remembered : 0);
    // The drop-down shows whole paths even where the closed list shortens them.
    ComboBox1->view()->setMinimumWidth(ComboBox1->view()->sizeHintForColumn(0) + 24);
    UpdateButtons();
}

void TFrameConnectPort::ApplySettings() {
    const int remembered = ComboBox1->findText(QString::fromStdString(PortName), Qt::MatchExactly);
    if (remembered >= 0) ComboBox1->setCurrentIndex(remembered);
    if (ComRW) ComRW->SetLineSettings(LineSettings);
}

void TFrameConnectPort::TakeSettings() {
    if (ComRW) LineSettings = ComRW->GetLineSettings();
    PortName = ComboBox1->currentText().toStdString();
}

void TFrameConnectPort::SetDefaults() {
    LineSettings = TDCB{};
    LineSettings.DCBlength = TDCB::Size;
    LineSettings.BaudRate = 115200;
    LineSettings.ByteSize = 8;
    LineSettings.Parity = 0;
    LineSettings.StopBits = 0;
    LineSettings.Flags = 0;
    PortName.clear();
}

void TFrameConnectPort::LoadSettings(CSimpleIniA& ini) {
    LineSettings = TDCB{};
    LineSettings.DCBlength = TDCB::Size;
    PortName = ini.GetValue(Section, "Name", "");
    LineSettings.BaudRate = ReadInt(ini, "BaudRate", LineSettings.BaudRate);
    LineSettings.ByteSize = ReadInt(ini, "ByteSize", LineSettings.ByteSize);
    LineSettings.Parity = ReadInt(ini, "Parity", LineSettings.Parity);
    LineSettings.StopBits = ReadInt(ini, "StopBits", LineSettings.StopBits);
    LineSettings.Flags = ReadInt(ini, "Flags", LineSettings.Flags);
    ApplySettings();
}

void TFrameConnectPort::SaveSettings(CSimpleIniA& ini) {
    // The name is the port last picked or used, not whatever the list fell back to when that port was
    // missing at the last refresh: the next start selects it again once it is back.
    if (!LineSettings.Configured()) {
        const std::string name = PortName;
        SetDefaults();
        PortName = name;
    } else if (ComRW) {
        LineSettings = ComRW->GetLineSettings();
    }
    ini.SetValue(Section, "Name", PortName.c_str());
    ini.SetLongValue(Section, "BaudRate", static_cast<long>(LineSettings.BaudRate));
    ini.SetLongValue(Section, "ByteSize", LineSettings.ByteSize);
    ini.SetLongValue(Section, "Parity", LineSettings.Parity);
    ini.SetLongValue(Section, "StopBits", LineSettings.StopBits);
    ini.SetLongValue(Section, "Flags", static_cast<long>(LineSettings.Flags));
}

void TFrameConnectPort::UpdateButtons() {
    const bool hasPort = ComRW != nullptr;
    Connect->setEnabled(hasPort && !ComRW->Active());
    Button1->setEnabled(hasPort && ComRW->Active());
    ComboBox1->setEnabled(hasPort);
}

void TFrameConnectPort::ConnectClick() {
    if (!ComRW) return;
    ApplySettings();
    if (!ComRW->Active()) {
        // Remembered too, so that the log line and the settings file name the port actually opened.
        PortName = ComboBox1->currentText().toStdString();
        ComRW->PortName = PortName;
    }
    ComRW->SetActive(true);
    if (ComRW->Active()) {
        AnswerWaiter->Cancel();
        AnswerWaiter->Start(AnswerTicks, QString(), {}, [this] {
            if (IsConnected() && OnLog)
                OnLog(QStringLiteral("No controller answered on %1 at %2 within 2 s: is it powered, and set "
                                     "to this baud rate?")
                          .arg(QString::fromStdString(ComRW->PortName),
                               QString::fromStdString(LineInUse().Describe())));
        });
    }
    UpdateButtons();
}

void TFrameConnectPort::Button1Click() {
    AnswerWaiter->Cancel();
    if (ComRW) ComRW->SetActive(false);
    UpdateButtons();
}

void TFrameConnectPort::Button4Click() {
    if (!ComRW) return;
    ApplySettings();
    // The dialog talks to the port in the list, also before the first Connect.
    if (!ComRW->Active()) ComRW->PortName = ComboBox1->currentText().toStdString();
    ComRW->ShowConfigDialog(window());
    UpdateButtons();
    TakeSettings();
}

void TFrameConnectPort::ComboBox1Click() {
    if (ComRW) {
        const QString picked = ComboBox1->currentText();
        if (picked == RefreshEntry) {
            RefreshPorts();
        } else if (!(IsConnected() && picked.toStdString() == ComRW->PortName)) {
            // The list reports a pick of the entry already shown too: that one changes nothing.
            const std::string open = IsConnected() ? ComRW->PortName : std::string();
            PortName = picked.toStdString();
            ComRW->SetActive(false);
            ComRW->PortName = PortName;
            if (!open.empty() && OnLog)
                OnLog(QStringLiteral("Port %1 closed: %2 was picked, Connect opens it.")
                          .arg(QString::fromStdString(open), picked));
        }
    }
    UpdateButtons();
}
