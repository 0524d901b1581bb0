// The " Update firmware " frame: loads a firmware image and feeds it to the controller's bootloader.
#pragma once

#include <QElapsedTimer>
#include <QFrame>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "firmware/firmwareImage.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QToolButton;
class TComLink;

class TFrameUpdateFW : public QFrame {
    Q_OBJECT
public:
    using TLog = std::function<void(const QString&)>;

    // Replies of the bootloader that may not stay away longer than this while a transfer runs.
    static constexpr int SilenceMs = 5000;
    static constexpr int PulseMs = 100;  // how long DTR and RTS stay set for a reset

    explicit TFrameUpdateFW(QWidget* parent = nullptr);
    ~TFrameUpdateFW() override;

    void Initialize(TComLink* port, uint8_t netBit, const QString& deviceWord, TLog onLog);
    void LogLine(const QString& text);
    // Loads and checks an image file; a refusal is logged with its reason. Remembers the name for the
    // reload that starts every update.
    bool LoadImage(const QString& fileName);

    void ActionOpenFWExecute();
    void ActionUpdateFWExecute();
    void ActionUpdateFWUpdate();
    void ActionResetExecute();
    void ActionResetUpdate();
    void ActionUpdateFWVisibleExecute(bool checked);

    // The 100 ms detection tick of Timer5; public so that tests can drive it.
    void Timer5Timer();
    // The bootloader's reply handler; true = not taken, pass it on.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    // The port went away: an update in progress ends here, cleanly, with a log line.
    void DeviceLost();
    // The watchdog of a running transfer; public so that tests need not wait 5 seconds.
    void SilenceTimeout();

    bool Busy() const { return detecting() || transferring_; }
    bool Transferring() const { return transferring_; }
    bool PulsePending() const { return pulseTimer_.isActive(); }

    // Written by the main window when the operator picks a link.
    uint8_t NetBit = 0;
    QString DeviceWord;
    TLog OnLog;
    TComLink* Port = nullptr;

    TFirmwareImage FW;
    int32_t DetectTicks = -1;
    bool InfoPending = false;
    QString FileName;  // full name last chosen in the open dialog

    // Called with every change of DTR and RTS this frame makes (clearDtr, clearRts); for tests, since a
    // pseudo-terminal has no control lines.
    std::function<void(bool, bool)> OnControlLines;

    QGroupBox* GroupBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QToolButton* SpeedButtonOpen = nullptr;
    QToolButton* SpeedButtonUpdate = nullptr;
    QToolButton* SpeedButtonReset = nullptr;
    QAction* ActionOpenFW = nullptr;
    QAction* ActionUpdateFW = nullptr;
    QAction* ActionReset = nullptr;
    QAction* ActionUpdateFWVisible = nullptr;
    QTimer Timer5;

private:
    bool detecting() const { return DetectTicks >= 0; }
    void stopDetection();
    void bootloaderAnswered();
    void endTransfer();
    void setLines(bool clearDtr, bool clearRts);
    void sendBootInfo();
    void setProgress(int position);
    // With DTR and RTS just set: clears them PulseMs later, then runs `after`. A second pulse while one
    // is pending keeps the lines set until PulseMs after the latest one.
    void startPulse(std::function<void()> after);
    void pulseEnd();

    bool transferring_ = false;
    QTimer silenceTimer_;
    QTimer pulseTimer_;
    std::function<void()> afterPulse_;
};
