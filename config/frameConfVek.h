// The configuration frame: the 17 configuration records in memory, the one selected by "Mode :" on
// screen, their transfer to and from the controller, the detection sequence after a connect, and
// record files.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "config/configRecord.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QScrollArea;
class QTimer;
class QToolButton;
class TComLink;
class TMaskEditUpDown;
class TWaiter;

class TFrameConfigVek : public QFrame {
    Q_OBJECT
public:
    using TLogEvent = std::function<void(const QString&)>;

    explicit TFrameConfigVek(QWidget* parent = nullptr);
    ~TFrameConfigVek() override;

    // Called once at start-up: creates the waiter, fills every record with its defaults, shows one.
    void Initialize(TComLink* port, uint8_t netBit, TLogEvent onLog);
    // Logs with the "Vek#%d: " prefix while a link on the net is active.
    void LogLine(const QString& text);
    // The reply handler of the main window's dispatch: false when the packet was taken.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    // The main window's identity handling: "Mode :" shows the record on screen, the controller is known.
    void IdentityReceived();

    // Screen to record n (default: the record "Mode :" selects), and the selected record to screen.
    void CaptureRecord();
    void CaptureRecord(int n);
    void ShowRecord();

    // Transfers.
    void ActionGetExecute();
    void ActionGetAllExecute();
    void DownloadNext();
    void ActionSetExecute();
    void ActionFlashExecute();
    void ActionSetAllExecute();
    void UploadNext();
    // Enables the transfer actions: connected, and an active link whenever the net bit is set. The main
    // window runs it while the program is idle.
    void ActionGetUpdate();

    // Record files.
    void ActionOpenConfigExecute();
    void ActionSaveConfigExecute();
    void ActionOpenAllExecute();
    void ActionSaveAllExecute();

    // The detection sequence, every 200 ms after a Detected reply; public so that tests can step it.
    void Timer3Timer();

    // The Smart / SigmaDelta exclusion (operator clicks only).
    void CheckBox14Click();
    void CheckBox7Click();

    // State.
    TComLink* Port = nullptr;
    uint8_t NetBit = 0;
    TLogEvent OnLog;
    std::unique_ptr<TWaiter> Waiter;
    std::array<ConfigRecord, ConfigRecordCount> Records;
    std::array<int32_t, ConfigRecordCount> Pending{};
    int32_t UploadIndex = 0;
    int32_t DetectState = 0;
    bool StatusSeen = false;
    std::array<uint8_t, 29> LastStatus{};
    bool Identified = false;
    QTimer* Timer3 = nullptr;

    // The dialogs, replaceable so that tests run without an operator. The name choosers return an empty
    // text when cancelled; ShowError shows a failed file action to the operator.
    std::function<QString()> AskOpenFileName;
    std::function<QString()> AskSaveFileName;
    std::function<void(const QString&)> ShowError;

    // Actions.
    QAction* ActionGet = nullptr;
    QAction* ActionSet = nullptr;
    QAction* ActionFlash = nullptr;
    QAction* ActionGetAll = nullptr;
    QAction* ActionSetAll = nullptr;
    QAction* ActionOpenConfig = nullptr;
    QAction* ActionSaveConfig = nullptr;
    QAction* ActionOpenAll = nullptr;
    QAction* ActionSaveAll = nullptr;

    // Controls.
    QGroupBox* GroupBoxConfig = nullptr;  // the outer group, captioned with the record's version
    QScrollArea* ScrollBox = nullptr;
    TMaskEditUpDown* MaskEditUpDown2 = nullptr;  // "Mode :"
    QToolButton* ToolButtons[10] = {};
    QCheckBox* CheckBox1 = nullptr;   // Enable PWM
    QCheckBox* CheckBox2 = nullptr;   // Enable I2C
    QCheckBox* CheckBox3 = nullptr;   // Enable CAN
    QCheckBox* CheckBox4 = nullptr;   // Revers
    QCheckBox* CheckBox5 = nullptr;   // Safe start (%)
    QCheckBox* CheckBox6 = nullptr;   // Low Battery Off (V)
    QCheckBox* CheckBox14 = nullptr;  // Smart
    QCheckBox* CheckBox8 = nullptr;   // Turbo
    QCheckBox* CheckBox7 = nullptr;   // SigmaDelta
    QCheckBox* CheckBox9 = nullptr;   // Async
    QCheckBox* CheckBox10 = nullptr;  // 3D mode
    QCheckBox* CheckBox11 = nullptr;  // Break
    QComboBox* ComboBox1 = nullptr;   // Timing
    QComboBox* ComboBox2 = nullptr;   // Carrier
    QComboBox* ComboBox3 = nullptr;   // melody
    QComboBox* ComboBox4 = nullptr;   // Div
    QComboBox* ComboBox5 = nullptr;   // Scheme
    TMaskEditUpDown* MaskEditUpDown1 = nullptr;
    TMaskEditUpDown* MaskEditUpDown3 = nullptr;
    TMaskEditUpDown* MaskEditUpDown4 = nullptr;
    TMaskEditUpDown* MaskEditUpDown5 = nullptr;
    TMaskEditUpDown* MaskEditUpDown6 = nullptr;
    TMaskEditUpDown* MaskEditUpDown7 = nullptr;
    TMaskEditUpDown* MaskEditUpDown8 = nullptr;
    TMaskEditUpDown* MaskEditUpDown9 = nullptr;
    TMaskEditUpDown* MaskEditUpDown10 = nullptr;
    TMaskEditUpDown* MaskEditUpDown11 = nullptr;
    TMaskEditUpDown* MaskEditUpDown12 = nullptr;
    TMaskEditUpDown* MaskEditUpDown14 = nullptr;
    TMaskEditUpDown* MaskEditUpDown15 = nullptr;
    TMaskEditUpDown* MaskEditUpDown16 = nullptr;
    TMaskEditUpDown* MaskEditUpDown18 = nullptr;
    TMaskEditUpDown* MaskEditUpDown19 = nullptr;
    TMaskEditUpDown* MaskEditUpDown20 = nullptr;
    TMaskEditUpDown* MaskEditUpDown22 = nullptr;
    TMaskEditUpDown* MaskEditUpDown23 = nullptr;
    TMaskEditUpDown* MaskEditUpDown31 = nullptr;
    TMaskEditUpDown* cxMaskEditUpDown1 = nullptr;

private:
    void CreateControls();
    void CreateActions();
    uint8_t Channel() const;
    bool Connected() const;
    int SelectedRecord();
    void StartDownloadWait();
    void StartUploadWait(bool retry);
    void SendConfigGet(int n);
    void SendRecord(uint8_t command, int n);
    void FileFailed(const QString& what, const QString& fileName, const QString& why);
    void SaveFile(bool all);
    void OpenFile(bool all);

    // Makes n the record on screen as an operator change of "Mode :" would: the record being left is
    // captured first, so that its edits are not written into the other record.
    void SelectRecord(int n);
    // The record "Mode :" names, made the one on screen if a typed number was not yet committed.
    int SyncRecordOnScreen();

    int shownRecord_ = 0;  // the record whose values the controls hold
    std::vector<std::pair<QCheckBox*, uint16_t>> flagBoxes_;
};
