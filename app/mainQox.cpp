#include "app/mainQox.h"

#include <SimpleIni.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryFile>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/aboutBox.h"
#include "app/commandLine.h"
#include "app/logo.h"
#include "app/telemetryWindow.h"
#include "app/testControl.h"
#include "config/configFile.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "link/identity.h"
#include "link/zuq.h"
#include "telemetry/frameVekStatus.h"
#include "telemetry/statusPoll.h"

namespace {
QAction* NewAction(QWidget* owner, const QString& caption, const QString& hint,
                   const QKeySequence& key = {}) {
    auto* action = new QAction(caption, owner);
    if (!hint.isEmpty()) {
        action->setStatusTip(hint);
        action->setToolTip(hint);
    }
    if (!key.isEmpty()) action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    owner->addAction(action);  // shortcuts work wherever the focus is in the window
    return action;
}

QAction* NewViewItem(QMenu* menu, const QString& caption, bool ticked, const QKeySequence& key = {}) {
    QAction* item = menu->addAction(caption);
    item->setCheckable(true);
    item->setChecked(ticked);
    if (!key.isEmpty()) item->setShortcut(key);
    item->setShortcutContext(Qt::WindowShortcut);
    return item;
}
}  // namespace

TFormMainQox::TFormMainQox(QWidget* parent) : QMainWindow(parent), IniPath(DefaultIniPath()) {
    setWindowTitle(Caption);
    setMinimumSize(640, 480);
    resize(1153, 759);
    Beep = [] { QApplication::beep(); };

    // A screen too small for every panel (a small laptop at 200 %) scrolls the window instead of
    // squeezing the panels below their size.
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    Panel = new QWidget(scroller);
    scroller->setWidget(Panel);
    setCentralWidget(scroller);
    MainLayout = new QVBoxLayout(Panel);
    MainLayout->setContentsMargins(4, 2, 4, 2);
    MainLayout->setSpacing(2);

    // " Connection ": the connection frame, the event log and the logo.
    GroupBox1 = new QGroupBox(QStringLiteral(" Connection "), Panel);
    // 65 pixels as designed; taller only when the style's title would otherwise clip the logo.
    GroupBox1->setMinimumHeight(65);
    GroupBox1->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* connectionRow = new QHBoxLayout(GroupBox1);
    connectionRow->setContentsMargins(4, 0, 4, 2);
    connectionRow->setSpacing(6);
    FrameConnectPort1 = new TFrameConnectPort(GroupBox1);
    connectionRow->addWidget(FrameConnectPort1, 0, Qt::AlignVCenter);
    ListBoxLog = new QPlainTextEdit(GroupBox1);
    ListBoxLog->setObjectName(QStringLiteral("ListBoxLog"));
    ListBoxLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    ListBoxLog->setTabChangesFocus(false);
    ListBoxLog->setReadOnly(false);
    ListBoxLog->setToolTip(QStringLiteral("History events"));
    ListBoxLog->setStatusTip(QStringLiteral("History events"));
    ListBoxLog->viewport()->installEventFilter(this);
    // The log fills the strip's height; the frame and the logo decide what that height is.
    ListBoxLog->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    ListBoxLog->setMinimumHeight(0);
    connectionRow->addWidget(ListBoxLog, 1);
    logIndex_ = connectionRow->indexOf(ListBoxLog);
    Image1 = new QLabel(GroupBox1);
    Image1->setPixmap(VekLogo());
    Image1->setFixedSize(280, 48);
    connectionRow->addWidget(Image1, 0, Qt::AlignVCenter);
    MainLayout->addWidget(GroupBox1);

    FrameLinkScan1 = new TFrameLinkScan(Panel);
    MainLayout->addWidget(FrameLinkScan1);
    FrameLinkScan1->hide();
    connect(FrameLinkScan1->ListView1, &QListWidget::itemSelectionChanged, this,
            &TFormMainQox::FrameLinkScan1ListView1Change);
    FrameUpdateFW1 = new TFrameUpdateFW(Panel);
    MainLayout->addWidget(FrameUpdateFW1);
    FrameFETest1 = new TFrameFETest(Panel);
    MainLayout->addWidget(FrameFETest1);
    FrameFETest1->hide();
    FrameConfigVek1 = new TFrameConfigVek(Panel);
    MainLayout->addWidget(FrameConfigVek1);
    GroupBox2 = new TTestControl(Panel);
    MainLayout->addWidget(GroupBox2);
    FrameVekStat1 = new TFrameVekStat(Panel);
    MainLayout->addWidget(FrameVekStat1, 1);

    auto* bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(bar);

    CreateActions();
    CreateMenus();
    AttachTelemetry(*this);

    FrameConnectPort1->OnLog = [this](const QString& line) { Log(line); };
    // The buttons of the connection frame run the window's actions.
    disconnect(FrameConnectPort1->Connect, nullptr, FrameConnectPort1, nullptr);
    disconnect(FrameConnectPort1->Button1, nullptr, FrameConnectPort1, nullptr);
    disconnect(FrameConnectPort1->Button4, nullptr, FrameConnectPort1, nullptr);
    connect(FrameConnectPort1->Connect, &QToolButton::clicked, this, &TFormMainQox::ActionConnectExecute);
    connect(FrameConnectPort1->Button1, &QToolButton::clicked, this, &TFormMainQox::ActionDisconnectExecute);
    QPalette red = FrameConnectPort1->Connect->palette();  // red while enabled, the usual grey when not
    red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
    FrameConnectPort1->Connect->setPalette(red);
    for (QToolButton* button : {FrameConnectPort1->Connect, FrameConnectPort1->Button1}) {
        const QString hint =
            button == FrameConnectPort1->Connect ? ActionConnect->statusTip() : ActionDisconnect->statusTip();
        button->setToolTip(hint);
        button->setStatusTip(hint);
    }
    const QFont bold = FrameConnectPort1->Button4->font();
    FrameConnectPort1->Button4->setDefaultAction(ActionConfig);
    FrameConnectPort1->Button2->setDefaultAction(ActionPing);
    FrameConnectPort1->Button4->setFont(bold);
    FrameConnectPort1->Button2->setFont(bold);

    // frame: reply handlers, e.g. FirmwareReply = [this](const uint8_t* p, uint8_t n) {
    //     return FrameUpdateFW1->HandleReply(p, n); };
    LinkScanReply = [this](const uint8_t* p, uint8_t n) { return FrameLinkScan1->HandleReply(p, n); };
    FirmwareReply = [this](const uint8_t* p, uint8_t n) { return FrameUpdateFW1->HandleReply(p, n); };
    ConfigReply = [this](const uint8_t* p, uint8_t n) { return FrameConfigVek1->HandleReply(p, n); };
    StatusReply = [this](const uint8_t* p, uint8_t n) { return FrameVekStat1->HandleReply(p, n); };
}

TFormMainQox::~TFormMainQox() {
    // Before the connection frame and its port go: no tick may run against them.
    GroupBox2->Shutdown();
    if (logWindow_) DockLog();
}

QString TFormMainQox::DefaultIniPath() {
    return IniPathFor(QCoreApplication::applicationFilePath());
}

QString TFormMainQox::IniPathFor(const QString& programFile) {
    const QFileInfo program(programFile);
    const QString name = program.completeBaseName() + QStringLiteral(".ini");
    // An installed program's folder belongs to the system, even where root could write into it.
    const QString folder = program.absoluteDir().path();
    const bool installed = folder.startsWith(QStringLiteral("/usr/")) ||
                           folder.startsWith(QStringLiteral("/opt/")) || folder == QStringLiteral("/bin") ||
                           folder == QStringLiteral("/sbin");
    // Writable is what a real attempt says: permission bits lie on read-only mounts, to root and with ACLs.
    QTemporaryFile probe(program.absoluteDir().filePath(QStringLiteral(".vektool-probe-XXXXXX")));
    if (!installed && probe.open()) return program.absoluteDir().filePath(name);
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(name);
}

void TFormMainQox::CreateActions() {
    ActionConnect =
        NewAction(this, QStringLiteral("Connect"), QStringLiteral("Connect to device"), Qt::Key_F2);
    ActionDisconnect = NewAction(this, QStringLiteral("Disconnect"), QStringLiteral("Disconnect"));
    ActionConfig = NewAction(this, QStringLiteral("Config"), QString());
    ActionPing = NewAction(this, QStringLiteral("Ping"), QString());
    ActionExit = NewAction(this, QStringLiteral("Exit"), QString(), QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(ActionConnect, &QAction::triggered, this, &TFormMainQox::ActionConnectExecute);
    connect(ActionDisconnect, &QAction::triggered, this, &TFormMainQox::ActionDisconnectExecute);
    connect(ActionConfig, &QAction::triggered, this, &TFormMainQox::ActionConfigExecute);
    connect(ActionPing, &QAction::triggered, this, &TFormMainQox::ActionPingExecute);
    connect(ActionExit, &QAction::triggered, this, &QWidget::close);
    ActionList1.Add(ActionConnect, [this] { ActionConnectUpdate(); });
    ActionList1.Add(ActionDisconnect, [this] { ActionDisconnectUpdate(); });
    ActionList1.Add(ActionConfig, [this] { ActionConfigUpdate(); });
    ActionList1.Add(ActionPing, [this] { ActionPingUpdate(); });
}

void TFormMainQox::CreateMenus() {
    MenuConnection = menuBar()->addMenu(QStringLiteral("Connection"));
    MenuConnection->addAction(ActionConnect);
    MenuConnection->addAction(ActionDisconnect);
    MenuConnection->addAction(ActionConfig);
    MenuConnection->addAction(ActionPing);
    MenuConnection->addSeparator();
    MenuConnection->addAction(ActionExit);

    MenuConfig = menuBar()->addMenu(QStringLiteral("Config"));
    const auto addConfigActions = [this](std::initializer_list<QAction*> actions) {
        for (QAction* action : actions) {
            MenuConfig->addAction(action);
            addAction(action);
        }
    };
    TFrameConfigVek* config = FrameConfigVek1;
    addConfigActions({config->ActionGet, config->ActionSet, config->ActionFlash, config->ActionOpenConfig,
                      config->ActionSaveConfig});
    MenuConfig->addSeparator();
    addConfigActions(
        {config->ActionGetAll, config->ActionSetAll, config->ActionOpenAll, config->ActionSaveAll});
    MenuConfig->addSeparator();
    MenuConfig->addAction(config->ActionStop);  // its Esc works application-wide already
    // One rule enables the five transfer actions; the file actions are always enabled.
    ActionList1.Add(config->ActionGet, [config] { config->ActionGetUpdate(); });
    MenuControl = menuBar()->addMenu(QStringLiteral("Control"));
    for (QAction* action : {GroupBox2->ActionRun, GroupBox2->ActionMelody}) {
        MenuControl->addAction(action);
        addAction(action);
    }
    ActionList1.Add(GroupBox2->ActionRun, [this] { GroupBox2->ActionRunUpdate(); });
    ActionList1.Add(GroupBox2->ActionMelody, [this] { GroupBox2->ActionMelodyUpdate(); });
    MenuStatus = menuBar()->addMenu(QStringLiteral("Status"));
    for (QAction* action : {FrameVekStat1->ActionLogUpdate, FrameVekStat1->ActionClearLog}) {
        MenuStatus->addAction(action);
        addAction(action);
    }
    ActionList1.Add(FrameVekStat1->ActionLogUpdate, [this] { FrameVekStat1->ActionLogUpdateUpdate(); });
    // frame: firmware update: ActionOpenFW, ActionUpdateFW, ActionReset.
    MenuFirmware = menuBar()->addMenu(QStringLiteral("Firmware"));
    for (QAction* action :
         {FrameUpdateFW1->ActionOpenFW, FrameUpdateFW1->ActionUpdateFW, FrameUpdateFW1->ActionReset}) {
        MenuFirmware->addAction(action);
        addAction(action);
    }
    ActionList1.Add(FrameUpdateFW1->ActionUpdateFW, [this] { FrameUpdateFW1->ActionUpdateFWUpdate(); });
    ActionList1.Add(FrameUpdateFW1->ActionReset, [this] { FrameUpdateFW1->ActionResetUpdate(); });
    ActionList1.Add(FrameLinkScan1->ActionScan, [this] { FrameLinkScan1->ActionScanUpdate(); });

    MenuView = menuBar()->addMenu(QStringLiteral("View"));
    ViewConnection = NewViewItem(MenuView, QStringLiteral("Connection"), true);
    ViewNetCAN =
        NewViewItem(MenuView, QStringLiteral("Net CAN"), false, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    // The firmware frame's own switch, unticked at start while its group shows.
    ViewUpdateFW = FrameUpdateFW1->ActionUpdateFWVisible;
    MenuView->addAction(ViewUpdateFW);
    ViewConfig = NewViewItem(MenuView, QStringLiteral("Config"), true);
    ViewTestControl = NewViewItem(MenuView, QStringLiteral("TEST Control"), true);
    ViewStatus = NewViewItem(MenuView, QStringLiteral("Status"), true);
    ViewFETest = NewViewItem(MenuView, QStringLiteral("FET test"), false,
                             QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_T));
    for (QAction* item : MenuView->actions()) addAction(item);
    connect(ViewConnection, &QAction::toggled, GroupBox1, &QWidget::setVisible);
    connect(ViewNetCAN, &QAction::toggled, FrameLinkScan1, &QWidget::setVisible);
    connect(ViewTestControl, &QAction::toggled, GroupBox2, &QWidget::setVisible);
    connect(ViewFETest, &QAction::toggled, FrameFETest1, &QWidget::setVisible);
    // "Config" and "Status" only toggle their tick marks.

    MenuHelp = menuBar()->addMenu(QStringLiteral("Help"));
    ActionAbout = MenuHelp->addAction(QStringLiteral("About"));
    connect(ActionAbout, &QAction::triggered, this, [this] { ShowAboutBox(this, IniPath); });

    for (QMenu* menu : {MenuConnection, MenuConfig, MenuControl, MenuStatus, MenuFirmware, MenuView})
        ActionList1.Watch(menu);
}

void TFormMainQox::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TFormMainQox::FormShow() {
    SetNetBit(0);
    // Raw data is not used: leaving the event empty spares the reader a hand-over per read.
    FrameConnectPort1->InitPort([this](const uint8_t* payload, uint8_t length,
                                       uint8_t channel) { OnPacket(payload, length, channel); },
                                {}, [this] { OnDeviceLost(); });
    FrameConnectPort1->RefreshPorts();
    if (QFile::exists(IniPath)) LoadIni();
    // The tick clamps to the limits of the record that the configuration frame's "Mode :" selects.
    TComLink* port = Port();
    GroupBox2->Initialize(
        port, [this] { return NetBit; },
        [this] {
            const int n =
                std::clamp(FrameConfigVek1->MaskEditUpDown2->GetIntValue(), 0, ConfigRecordCount - 1);
            const ConfigRecord& record = FrameConfigVek1->Records[size_t(n)];
            return TThrottleLimits{record.min_PWM, record.max_PWM};
        });
    // With a node selected, RUN waits for the controller to confirm that node: the list alone may show
    // a pick that never reached it, while the controller still routes to the node picked before.
    GroupBox2->LinkReady = [this] {
        return NetBit == 0 || Port()->ActiveLink == FrameLinkScan1->SelectedLink();
    };
    FrameFETest1->Initialize(port, [this] { return NetBit; });
    FrameVekStat1->Initialize(port, 0);
    FrameUpdateFW1->Initialize(port, 0, QStringLiteral("Vek"), [this](const QString& line) { Log(line); });
    FrameConfigVek1->Initialize(port, 0, [this](const QString& line) { Log(line); });
    FrameLinkScan1->Initialize(port, [this](const QString& line) { Log(line); });
    FrameLinkScan1->OnLinkChanged = [this](bool active) { OnLinkChanged(active); };
    UpdateControls();
    ActionList1.UpdateAll();
}

void TFormMainQox::ApplyCommandLine(const TCommandLine& options) {
    if (!options.Port.isEmpty()) {
        QComboBox* list = FrameConnectPort1->ComboBox1;
        int index = list->findText(options.Port, Qt::MatchExactly);
        if (index < 0 && !options.Port.contains(QLatin1Char('/')))  // ttyUSB0 for /dev/ttyUSB0
            index = list->findText(QStringLiteral("/dev/") + options.Port, Qt::MatchExactly);
        if (index < 0) {
            index = std::max(0, list->count() - 1);  // before "Refresh", which stays last
            list->insertItem(index, options.Port);
        }
        list->setCurrentIndex(index);
        FrameConnectPort1->ComboBox1Click();
    }
    if (options.Connect)
        QTimer::singleShot(0, this, [this] {
            if (!IsConnected()) ActionConnectExecute();
        });
}

void TFormMainQox::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FrameVekStat1->CheckListBox1->viewport()->update();
}

void TFormMainQox::closeEvent(QCloseEvent* event) {
    // RUN released and the pacing thread stopped while the port is still open.
    GroupBox2->Shutdown();
    SaveIni();
    if (logWindow_) DockLog();
    event->accept();
}

bool TFormMainQox::LoadIni() {
    CSimpleIniA ini;
    QString why;
    if (!ReadConfigFile(IniPath, ini, &why)) {
        Log(QStringLiteral("Settings file %1 cannot be read: %2.").arg(IniPath, why));
        return false;
    }
    FrameConnectPort1->LoadSettings(ini);
    FrameVekStat1->LoadSettings(ini);
    return true;
}

bool TFormMainQox::SaveIni() {
    QDir().mkpath(QFileInfo(IniPath).absolutePath());
    QString why;
    // What cannot be read cannot be kept: better no new settings than other sections lost.
    const TIniUpdate result = UpdateIniFile(
        IniPath,
        [this](CSimpleIniA& ini) {
            FrameConnectPort1->SaveSettings(ini);
            FrameVekStat1->SaveSettings(ini);
        },
        &why, PlainIniText);
    if (result == TIniUpdate::Written) return true;
    const QString line =
        result == TIniUpdate::NotRead
            ? QStringLiteral("Settings file %1 cannot be read (%2); settings not saved.").arg(IniPath, why)
            : QStringLiteral("Settings file %1 cannot be written: %2.").arg(IniPath, why);
    Log(line);
    qWarning("%s", qPrintable(line));  // the window may be closing: say it where it is still seen
    return false;
}

void TFormMainQox::Log(const QString& text) {
    ListBoxLog->appendPlainText(text);
    QScrollBar* bar = ListBoxLog->verticalScrollBar();
    bar->setValue(bar->maximum());
}

bool TFormMainQox::IsConnected() const {
    const TComLink* port = Port();
    return port != nullptr && port->IsOpen();
}

TComLink* TFormMainQox::Port() const {
    return port_ != nullptr ? port_ : FrameConnectPort1->Port();
}

void TFormMainQox::UpdateControls() {
    const bool open = IsConnected();
    ActionPing->setEnabled(open);
    GroupBox2->UpdateActions();  // MELODY and RUN enabled while open; RUN released when closed
}

void TFormMainQox::SetNetBit(uint8_t bit) {
    NetBit = bit;
    // frame: firmware update, configuration and status: copy NetBit into each.
    FrameUpdateFW1->NetBit = bit;
    FrameConfigVek1->NetBit = bit;
    FrameVekStat1->NetBit = bit;
}

void TFormMainQox::FrameLinkScan1ListView1Change() {
    const uint8_t selected = FrameLinkScan1->SelectedLink();
    const uint8_t bit = selected != 255 ? zuq::NetBit : 0;
    if (selected != selectedLink_ || bit != NetBit) {
        // Throttle must never go on to a controller the operator did not start; and the controller
        // being left is told to stop streaming while requests still reach it.
        GroupBox2->ReleaseRun();
        // The rest of a transfer would read or write another controller's records.
        if (FrameConfigVek1->Transfer.Running()) FrameConfigVek1->Transfer.Abandon();
        if (IsConnected() && FrameVekStat1->Poll) FrameVekStat1->Poll->Stop(NetBit);
    }
    selectedLink_ = selected;
    SetNetBit(bit);
}

void TFormMainQox::OnLinkChanged(bool active) {
    UpdateControls();
    if (active && Port() != nullptr && Port()->ActiveLink != activeLink_) {
        // The controller now routes requests to another link than the one RUN was pressed for.
        GroupBox2->ReleaseRun();
        if (FrameConfigVek1->Transfer.Running()) FrameConfigVek1->Transfer.Abandon();
        activeLink_ = Port()->ActiveLink;
    }
    if (!IsConnected() || !FrameVekStat1->Poll) return;
    if (active)
        FrameVekStat1->SendRequest();
    else
        FrameVekStat1->Poll->Stop(NetBit);
}

void TFormMainQox::OnPacket(const uint8_t* payload, uint8_t length, uint8_t channel) {
    if (!IsConnected() || length == 0) return;
    // Telemetry is shown, and used to find the record in use, only from the selected controller.
    if (payload[0] == zuq::Cmd::Status && !TStatusPoll::FromSelected(channel, NetBit)) return;
    const auto offer = [payload, length](const TReplyHandler& handler) {
        return !handler || handler(payload, length);
    };
    if (offer(LinkScanReply)) {
        if (channel == zuq::ChannelReply) {
            if (payload[0] == zuq::Cmd::Echo)
                Log(QStringLiteral("Echo is received."));
            else if (payload[0] == zuq::Cmd::Identify)
                HandleIdentify(payload, length);
            else if (offer(FirmwareReply) && offer(ConfigReply))
                offer(StatusReply);
        } else if (offer(StatusReply) && offer(FirmwareReply)) {
            offer(ConfigReply);
        }
    }
    UpdateControls();
}

void TFormMainQox::HandleIdentify(const uint8_t* payload, uint8_t length) {
    const TIdentity id = DecodeIdentity(payload, length);
    const QString firmware = id.Firmware;
    const QString number = QStringLiteral("%1").arg(id.Serial, 8, 16, QLatin1Char('0'));
    setWindowTitle(QStringLiteral("Vek Tool [FW:%1  SN:%2]").arg(firmware, number));
    Log(QStringLiteral("FW: %1 SN: %2").arg(firmware, number));
    // The configuration frame's "Mode :" shows its current record again, and the controller is known.
    FrameConfigVek1->IdentityReceived();
}
