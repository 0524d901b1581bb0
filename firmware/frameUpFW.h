// The " Update firmware " frame: loads a firmware image and hands it to the bootloader update
// (firmware/bootUpdate.h), which it shows in its progress bar and its actions' enabled states.
#pragma once

#include <QFrame>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "firmware/bootUpdate.h"
#include "firmware/firmwareImage.h"

class QAction;
class QGroupBox;
class QLineEdit;
class QProgressBar;
class QToolButton;
class TComLink;

class TFrameUpdateFW : public QFrame {
    Q_OBJECT
public:
    using TLog = std::function<void(const QString&)>;

    explicit TFrameUpdateFW(QWidget* parent = nullptr);
    ~TFrameUpdateFW() override;

    void Initialize(TComLink* port, uint8_t netBit, const QString& deviceWord, TLog onLog);
    void LogLine(const QString& text);
    // Loads and checks an image file into the frame's own image; a refusal is logged with its reason
    // and leaves the image being sent untouched. Remembers the name for the reload that starts every
    // update.
    bool LoadImage(const QString& fileName);

    void ActionOpenFWExecute();
    void ActionUpdateFWExecute();
    // Sets the enabled states of Open FW and Update FW: neither while an update or a reset is pending.
    void ActionUpdateFWUpdate();
    void ActionResetExecute();
    void ActionResetUpdate();
    void ActionUpdateFWVisibleExecute(bool checked);

    // The bootloader's reply handler; true = not taken, pass it on.
    bool HandleReply(const uint8_t* payload, uint8_t length);
    // The port went away: an update in progress ends here, cleanly, with a log line.
    void DeviceLost();

    bool Busy() const { return Update && Update->Busy(); }

    // Written by the main window when the operator picks a link.
    uint8_t NetBit = 0;
    QString DeviceWord;
    TLog OnLog;
    TComLink* Port = nullptr;
    std::unique_ptr<TBootUpdate> Update;  // made by Initialize

    TFirmwareImage FW;  // the image loaded last; Update keeps its own copy of the one it sends
    QString FileName;   // full name last chosen in the open dialog

    // The open dialog, replaceable so that tests run without an operator: the chosen file's name,
    // empty when cancelled.
    std::function<QString()> AskOpenFileName;

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

private:
    void updateStateChanged(TBootUpdate::TState state);
};
