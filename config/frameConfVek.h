// The configuration frame: the record that "Mode :" selects on screen, the transfer and file actions,
// and the detection sequence's choice of record. The records in memory, their transfers and the
// detection sequence are the widget-free TConfigTransfer; the frame delegates to it.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "config/configRecord.h"
#include "config/configTransfer.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QScrollArea;
class QToolButton;
class TComLink;
class TMaskEditUpDown;

class TFrameConfigVek : public QFrame {
    Q_OBJECT
public:
    using TLogEvent = std::function<void(const QString&)>;

    explicit TFrameConfigVek(QWidget* parent = nullptr);
    ~TFrameConfigVek() override;

    // Called once at start-up: binds the port, fills every record with its defaults, shows one.
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

    // Transfers: one at a time; a new one is refused while one runs. Stop abandons the running one.
    void ActionGetExecute();
    void ActionGetAllExecute();
    void ActionSetExecute();
    void ActionFlashExecute();
    void ActionSetAllExecute();
    void ActionStopExecute();
    // Enables the transfer actions (connected, idle, and an active link whenever the net bit is set),
    // Stop while a transfer runs, and the file actions that replace or save all records while none
    // does. The main window runs it while the program is idle; the frame when a transfer starts or ends.
    void ActionGetUpdate();

    // Record files.
    void ActionOpenConfigExecute();
    void ActionSaveConfigExecute();
    void ActionOpenAllExecute();
    void ActionSaveAllExecute();

    // The Smart / SigmaDelta exclusion (operator clicks only).
    void CheckBox14Click();
    void CheckBox7Click();

    // State. The records in memory are the transfer unit's.
    TConfigTransfer Transfer;
    std::array<ConfigRecord, ConfigRecordCount>& Records = Transfer.Records();
    uint8_t NetBit = 0;
    bool Identified = false;

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
    QAction* ActionStop = nullptr;  // "Stop", Esc: abandons the running transfer

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
    int SelectedRecord();
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
