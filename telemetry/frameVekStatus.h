// The status frame: polls the controller for its telemetry once a second, plots the thirteen channels
// on the graph, shows mode, address and state flags, and lists the channels with their latest values.
#pragma once

#include <SimpleIni.h>

#include <QFrame>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "telemetry/statusChannels.h"
#include "telemetry/statusRecord.h"
#include "telemetry/statusRecorder.h"
#include "telemetry/statusSettings.h"

class QAction;
class QColor;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPainter;
class QTimer;
class QToolButton;
class TComLink;
class TStatusPoll;
class TFrameGraph;
class TMaskEditUpDown;

class TFrameVekStat : public QFrame {
    Q_OBJECT
public:
    static constexpr int ChannelCount = StatusChannelCount;

    explicit TFrameVekStat(QWidget* parent = nullptr);
    ~TFrameVekStat() override;

    // Sets up the graph's channels and the list as Settings say (the defaults unless LoadSettings ran).
    void Initialize(TComLink* port, uint8_t netBit);
    // The settings file's section of the telemetry view: read before or after Initialize, written from
    // what is on screen.
    void LoadSettings(const CSimpleIniA& ini);
    void SaveSettings(CSimpleIniA& ini);
    // Takes nothing: always true, so the packet goes on to the next frame.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    void ApplyRecord();
    // Repaints the rows of the channel list whose values read differently now.
    void RefreshValues();
    // Applies the stored record again (one more sample while UPDATE is down), then SendRequest.
    void RequestStatus();
    // One StatusRequest with the frame's settings: the refresh rate while UPDATE is down, else 0.
    void SendRequest();

    void Timer1Timer();
    void MaskEditUpDown1Update();
    void ActionLogUpdateExecute();
    void ActionLogUpdateUpdate();
    void ActionClearLogExecute();
    void CheckListBox1ClickCheck();
    void CheckListBox1DrawItem(QPainter& canvas, int index, const QRect& rect);
    // Double click on a channel: its colour from the colour dialog.
    void CheckListBox1DblClick(int index);
    void ActionRecordExecute();
    void ActionExportExecute();
    void ActionSaveImageExecute();
    // Flushes the recording and shows its state (RecordTimer, every 500 ms while recording).
    void RecordTimerTimer();

    // Log lines and the status-bar text of a recording ("" when none runs); dialogs, replaced by tests.
    std::function<void(const QString&)> OnLog;
    std::function<void(const QString&)> OnRecording;
    std::function<QString(const QString& caption, const QString& filter)> AskSaveFileName;
    std::function<QColor(const QColor& initial)> AskColor;

    TComLink* Port = nullptr;
    uint8_t NetBit = 0;
    std::unique_ptr<TStatusPoll> Poll;  // from Initialize on
    StatusRecord Record;
    TStatusSettings Settings;
    TStatusRecorder Recorder;

    QGroupBox* GroupBox3 = nullptr;
    QFrame* Panel3 = nullptr;
    QLabel* Label14 = nullptr;
    TMaskEditUpDown* MaskEditUpDown12 = nullptr;  // "Mode: "
    QLabel* Label15 = nullptr;
    TMaskEditUpDown* MaskEditUpDown13 = nullptr;  // "Address:"
    QCheckBox* CheckBox7 = nullptr;               // Stopped
    QCheckBox* CheckBox8 = nullptr;               // Starting
    QCheckBox* CheckBox9 = nullptr;               // Overheat
    QCheckBox* CheckBox10 = nullptr;              // Overload
    QCheckBox* CheckBox11 = nullptr;              // Blocking
    QCheckBox* CheckBox2 = nullptr;               // Test
    QCheckBox* CheckBox12 = nullptr;              // Short-circuit
    QCheckBox* CheckBox1 = nullptr;               // Sound
    QFrame* Panel4 = nullptr;
    QToolButton* ASpeedButton1 = nullptr;      // UPDATE
    QToolButton* SpeedButton2 = nullptr;       // CLEAR
    QToolButton* SpeedButtonFreeze = nullptr;  // the graph's ActionFreeze
    QToolButton* SpeedButtonRecord = nullptr;  // ActionRecord
    QLabel* Label1 = nullptr;
    TMaskEditUpDown* MaskEditUpDown1 = nullptr;  // "Refresh rate:"
    QListWidget* CheckListBox1 = nullptr;
    TFrameGraph* FrameGraph1 = nullptr;
    QAction* ActionLogUpdate = nullptr;
    QAction* ActionClearLog = nullptr;
    QAction* ActionRecord = nullptr;     // "Record...", checked while recording
    QAction* ActionExport = nullptr;     // "Export..."
    QAction* ActionSaveImage = nullptr;  // "Save image..."
    QTimer* Timer1 = nullptr;
    QTimer* ValuesTimer = nullptr;  // 100 ms, started by a record: RefreshValues
    QTimer* RecordTimer = nullptr;

    // The state boxes in the order of the Flags bits 0..7.
    QCheckBox* FlagBoxes[8] = {};

    // A channel's latest value as the list shows it: in its unit, one decimal where the scale is 0.1.
    QString ValueText(int index) const;

private:
    void ApplySettings();
    void Log(const QString& line) const {
        if (OnLog) OnLog(line);
    }
    void ShowRecording();
    bool initialized_ = false;
    QChar point_;  // the decimal separator of the values
    // What the panel and the list show now; -1 for a field not set yet.
    int shownMode_ = -1;
    int shownAddress_ = -1;
    QString shownValues_[ChannelCount];
};
