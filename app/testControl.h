// The " TEST Control " group of the main window: RUN with its throttle stream, the throttle slider
// and edit, the dynamic variation, the pacing interval and MELODY.
#pragma once

#include <QGroupBox>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/runThread.h"
#include "app/throttleWave.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;
class QToolButton;
class TComLink;
class TMaskEditUpDown;

class TTestControl : public QGroupBox {
    Q_OBJECT
public:
    explicit TTestControl(QWidget* parent = nullptr);
    ~TTestControl() override;

    // Start-up: the interval and the triangle are reset and the pacing thread starts. netBit and
    // limits are asked on every tick (the net bit of the window, the limits of the record in use).
    // startPacing false leaves the ticks to the caller (tests).
    void Initialize(TComLink* port, std::function<uint8_t()> netBit, std::function<TThrottleLimits()> limits,
                    bool startPacing = true);
    // Closing: RUN is released and the pacing thread stopped, before the port closes.
    void Shutdown();

    // Releases RUN: the button and the action's checked state, so a reconnect never restarts the
    // throttle stream by itself.
    void ReleaseRun();
    bool Running() const;
    // Runs the update handlers of both actions (called by the window whenever it is idle).
    void UpdateActions();

    // Handlers.
    void Timer25Timer();
    void ActionRunExecute();
    void ActionRunUpdate();
    void ActionMelodyExecute();
    void ActionMelodyUpdate();
    void TrackBar1Change();
    void MaskEditUpDown17Update();
    void MaskEditUpDown30Update();
    void RadioGroup1Click();

    // RUN is only for a controller known to receive it: with a node selected, once the controller on the
    // line has confirmed that node as the active link. Empty: always. Asked by the updates and every tick.
    std::function<bool()> LinkReady;

    QAction* ActionRun = nullptr;     // "RUN", F5, auto-check
    QAction* ActionMelody = nullptr;  // "MELODY", F9

    QToolButton* SpeedButton1 = nullptr;  // RUN
    QSlider* TrackBar1 = nullptr;
    TMaskEditUpDown* MaskEditUpDown17 = nullptr;  // throttle (%)
    QGroupBox* RadioGroup1 = nullptr;             // " Type "
    QButtonGroup* RadioGroup1Buttons = nullptr;
    QCheckBox* CheckBox13 = nullptr;              // "Dinamic (%):"
    TMaskEditUpDown* MaskEditUpDown21 = nullptr;  // amplitude (%)
    TMaskEditUpDown* MaskEditUpDown30 = nullptr;  // interval (ms)
    QToolButton* SpeedButton3 = nullptr;          // MELODY

    int32_t RunInterval = 50;
    TThrottleWave Wave;  // Switch phase, Linear position and step, random seed
    std::shared_ptr<TRunThread> RunThread;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Connected() const;
    uint8_t Channel() const;

    TComLink* port_ = nullptr;
    std::function<uint8_t()> netBit_;
    std::function<TThrottleLimits()> limits_;
};
