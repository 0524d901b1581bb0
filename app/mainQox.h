// The program's one window: the connection strip with the event log, the frames, the menus, the
// reply dispatcher and the start-up sequence.
//
// How a frame plugs in (each frame's engineer adds exactly these, at the places marked "frame:" in
// mainQox.cpp, keeping the order those places give):
//  1. Construction: a member pointer below, created in the constructor and added to MainLayout at the
//     frame's place (top to bottom: " Connection ", link scan, firmware, FET test, configuration,
//     " TEST Control ", status), hidden at start where the layout says so.
//  2. Initialize: the frame's Initialize(...) call in FormShow, in the start-up order (status,
//     firmware, configuration, link scan), given FrameConnectPort1 and, as it needs them, NetBit and
//     the log callback [this](const QString& line) { Log(line); }.
//  3. Menu: the frame's actions added to their menu (MenuConfig, MenuControl, MenuStatus,
//     MenuFirmware) and to the window (addAction, so that shortcuts work wherever the focus is), their
//     update handlers registered with ActionList1.Add, and the View item bound to the panel.
//  4. Dispatch: the frame's reply handler, bool HandleReply(const uint8_t* payload, uint8_t length)
//     (true = pass the packet on, false = taken), assigned to its slot LinkScanReply, FirmwareReply,
//     ConfigReply or StatusReply in the constructor; OnPacket offers packets in its fixed order and
//     skips empty slots.
//  5. Net bit: SetNetBit copies the bit into the firmware, configuration and status frames.
//  6. The status frame repaints its channel list when the window is resized (a resizeEvent here).
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>

#include "app/actionUpdate.h"

class QAction;
class TComLink;
class QGroupBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QVBoxLayout;
class QWidget;
class TFrameConfigVek;
class TFrameConnectPort;
class TFrameFETest;
class TFrameLinkScan;
class TFrameUpdateFW;
class TTestControl;
class TFrameVekStat;
struct TCommandLine;

class TFormMainQox : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMainQox(QWidget* parent = nullptr);
    ~TFormMainQox() override;

    // Where the settings file is read and written: beside the program when that folder is writable,
    // else in the user's configuration folder.
    static inline const QString Caption = QStringLiteral("Vek Tool");

    static QString DefaultIniPath();
    static QString IniPathFor(const QString& programFile);
    QString IniPath;  // set from DefaultIniPath; tests point it elsewhere before the window is shown

    void Log(const QString& text);
    bool IsConnected() const;
    // The port every frame sends through: the connection frame's, unless a test put another in its
    // place with UsePort before the window was shown.
    TComLink* Port() const;
    void UsePort(TComLink* port) { port_ = port; }
    void UpdateControls();
    void OnLinkChanged(bool active);
    // The net bit (0x00 or 0x80) that requests to the selected link carry in their channel byte.
    void SetNetBit(uint8_t bit);
    // The link list's selection changed: a selected link sets the net bit, none clears it. A change
    // releases RUN, abandons a configuration transfer and ends the telemetry stream of the controller
    // being left.
    void FrameLinkScan1ListView1Change();
    uint8_t NetBit = 0;

    // The reply dispatcher: the port's OnPacket.
    void OnPacket(const uint8_t* payload, uint8_t length, uint8_t channel);

    void ActionConnectExecute();
    void ActionDisconnectExecute();
    void ActionConfigExecute();
    void ActionPingExecute();
    void ActionConnectUpdate();
    void ActionDisconnectUpdate();
    void ActionConfigUpdate();
    void ActionPingUpdate();

    // The start-up sequence; runs once, when the window is first shown.
    void FormShow();
    // After FormShow: selects --port NAME in the port list (added when missing) as if the operator had
    // picked it, and with --connect connects once the event loop runs.
    void ApplyCommandLine(const TCommandLine& options);
    // Writes the settings file; false (and a log line) when it could not.
    bool SaveIni();
    bool LoadIni();

    // Floats the log in a window of its own, and puts it back.
    void UndockLog();
    void DockLog();
    bool LogFloating() const;

    // Reply handlers of the frames, in dispatch order; an empty slot passes the packet on.
    using TReplyHandler = std::function<bool(const uint8_t* payload, uint8_t length)>;
    TReplyHandler LinkScanReply;  // frame: link scan
    TReplyHandler FirmwareReply;  // frame: firmware update
    TReplyHandler ConfigReply;    // frame: configuration
    TReplyHandler StatusReply;    // frame: status

    // Called when the port goes away; the system beep by default (tests count it).
    std::function<void()> Beep;

    TActionUpdater ActionList1;

    QWidget* Panel = nullptr;  // inside the central widget, a scroll area
    QVBoxLayout* MainLayout = nullptr;
    QGroupBox* GroupBox1 = nullptr;  // " Connection "
    TFrameConnectPort* FrameConnectPort1 = nullptr;
    QPlainTextEdit* ListBoxLog = nullptr;
    QLabel* Image1 = nullptr;                  // the logo
    TFrameLinkScan* FrameLinkScan1 = nullptr;  // hidden at start
    TFrameUpdateFW* FrameUpdateFW1 = nullptr;
    TFrameFETest* FrameFETest1 = nullptr;  // hidden at start
    TFrameConfigVek* FrameConfigVek1 = nullptr;
    TTestControl* GroupBox2 = nullptr;  // " TEST Control ": its controls, RunThread, ActionRun, ActionMelody
    TFrameVekStat* FrameVekStat1 = nullptr;  // filling the remaining space

    QMenu* MenuConnection = nullptr;
    QMenu* MenuConfig = nullptr;
    QMenu* MenuControl = nullptr;
    QMenu* MenuStatus = nullptr;
    QMenu* MenuFirmware = nullptr;
    QMenu* MenuView = nullptr;
    QMenu* MenuHelp = nullptr;

    QAction* ActionConnect = nullptr;
    QAction* ActionDisconnect = nullptr;
    QAction* ActionConfig = nullptr;
    QAction* ActionPing = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionAbout = nullptr;  // Help > About: version, Qt version, settings file

    // View switches, each toggling its tick mark.
    QAction* ViewConnection = nullptr;
    QAction* ViewNetCAN = nullptr;
    QAction* ViewUpdateFW = nullptr;
    QAction* ViewConfig = nullptr;
    QAction* ViewTestControl = nullptr;
    QAction* ViewStatus = nullptr;
    QAction* ViewFETest = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void OnDeviceLost();
    // After an open: why the port did not open, or which line setting its driver refused.
    void LogPortProblems();
    void HandleIdentify(const uint8_t* payload, uint8_t length);

    TComLink* port_ = nullptr;
    uint8_t selectedLink_ = 255;  // the link list's selection as last seen
    uint8_t activeLink_ = 255;    // the active link the controller last reported
    bool shown_ = false;
    QWidget* logWindow_ = nullptr;  // the floating log's window while it floats
    int logIndex_ = 0;              // the log's place in the connection group's layout
};
