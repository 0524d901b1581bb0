// The status frame: polls the controller for its telemetry once a second, plots the thirteen channels
// on the graph, shows mode, address and state flags, and lists the channels with their latest values.
#pragma once

#include <QFrame>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "telemetry/statusChannels.h"
#include "telemetry/statusRecord.h"

class QAction;
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

    void Initialize(TComLink* port, uint8_t netBit);
    // Takes nothing: always true, so the packet goes on to the next frame.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    void ApplyRecord();
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

    TComLink* Port = nullptr;
    uint8_t NetBit = 0;
    std::unique_ptr<TStatusPoll> Poll;  // from Initialize on
    StatusRecord Record;

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
    QToolButton* ASpeedButton1 = nullptr;  // UPDATE
    QToolButton* SpeedButton2 = nullptr;   // CLEAR
    QLabel* Label1 = nullptr;
    TMaskEditUpDown* MaskEditUpDown1 = nullptr;  // "Refresh rate:"
    QListWidget* CheckListBox1 = nullptr;
    TFrameGraph* FrameGraph1 = nullptr;
    QAction* ActionLogUpdate = nullptr;
    QAction* ActionClearLog = nullptr;
    QTimer* Timer1 = nullptr;

    // The state boxes in the order of the Flags bits 0..7.
    QCheckBox* FlagBoxes[8] = {};

private:
    // A channel's latest value as the list shows it.
    QString ValueText(int index) const;
    // What the panel and the list show now; -1 for a field not set yet.
    int shownMode_ = -1;
    int shownAddress_ = -1;
    QString shownValues_[ChannelCount];
};
