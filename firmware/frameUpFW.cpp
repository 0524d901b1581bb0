#include "firmware/frameUpFW.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "link/comLink.h"
#include "link/littleEndian.h"
#include "link/zuq.h"

namespace {
constexpr uint8_t WakeUp[7] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};

QToolButton* ActionButton(QAction* action, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}
}  // namespace

TFrameUpdateFW::TFrameUpdateFW(QWidget* parent) : QFrame(parent) {
    setObjectName("FrameUpdateFW1");
    ActionOpenFW = new QAction("Open FW", this);
    ActionUpdateFW = new QAction("Update FW", this);
    ActionReset = new QAction("Reset", this);
    ActionReset->setToolTip("Reset device");
    ActionReset->setStatusTip("Reset device");
    ActionUpdateFWVisible = new QAction("UpdateFW", this);
    ActionUpdateFWVisible->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_U));
    ActionUpdateFWVisible->setShortcutContext(Qt::WindowShortcut);
    // Unticked at start while the group shows: choosing it sets the group's visibility to the new tick.
    ActionUpdateFWVisible->setCheckable(true);
    ActionUpdateFW->setEnabled(false);

    GroupBox1 = new QGroupBox(" Update firmware ", this);
    auto* row = new QHBoxLayout(GroupBox1);
    row->setContentsMargins(6, 2, 6, 4);
    SpeedButtonOpen = ActionButton(ActionOpenFW, GroupBox1);
    Edit1 = new QLineEdit(GroupBox1);
    Edit1->setReadOnly(true);
    Edit1->setMinimumWidth(160);
    SpeedButtonUpdate = ActionButton(ActionUpdateFW, GroupBox1);
    SpeedButtonReset = ActionButton(ActionReset, GroupBox1);
    ProgressBar1 = new QProgressBar(GroupBox1);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setVisible(false);
    row->addWidget(SpeedButtonOpen);
    row->addWidget(Edit1, 1);
    row->addWidget(SpeedButtonUpdate);
    row->addWidget(SpeedButtonReset);
    row->addWidget(ProgressBar1, 2);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(GroupBox1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    Timer5.setInterval(100);
    silenceTimer_.setSingleShot(true);
    silenceTimer_.setInterval(SilenceMs);
    pulseTimer_.setSingleShot(true);
    pulseTimer_.setInterval(PulseMs);
    connect(&Timer5, &QTimer::timeout, this, &TFrameUpdateFW::Timer5Timer);
    connect(&silenceTimer_, &QTimer::timeout, this, &TFrameUpdateFW::SilenceTimeout);
    connect(&pulseTimer_, &QTimer::timeout, this, &TFrameUpdateFW::pulseEnd);
    connect(ActionOpenFW, &QAction::triggered, this, &TFrameUpdateFW::ActionOpenFWExecute);
    connect(ActionUpdateFW, &QAction::triggered, this, &TFrameUpdateFW::ActionUpdateFWExecute);
    connect(ActionReset, &QAction::triggered, this, &TFrameUpdateFW::ActionResetExecute);
    connect(ActionUpdateFWVisible, &QAction::triggered, this, &TFrameUpdateFW::ActionUpdateFWVisibleExecute);
}

TFrameUpdateFW::~TFrameUpdateFW() = default;

void TFrameUpdateFW::Initialize(TComLink* port, uint8_t netBit, const QString& deviceWord,
                                TLog onLog) {
    Port = port;
    NetBit = netBit;
    DeviceWord = deviceWord;
    OnLog = std::move(onLog);
    ActionUpdateFW->setEnabled(false);
}

void TFrameUpdateFW::LogLine(const QString& text) {
    QString prefix;
    if (Port && Port->ActiveLink < 255) prefix = QString("%1#%2: ").arg(DeviceWord).arg(Port->ActiveLink);
    if (OnLog) OnLog(prefix + text);
}

bool TFrameUpdateFW::LoadImage(const QString& fileName) {
    Edit1->clear();
    FileName = fileName;
    QString error;
    const bool loaded = FW.Load(fileName, error);
    if (loaded)
        Edit1->setText(QFileInfo(fileName).fileName());
    else
        LogLine(QString("Cannot load \"%1\": %2").arg(QFileInfo(fileName).fileName(), error));
    ActionUpdateFWUpdate();
    return loaded;
}

void TFrameUpdateFW::ActionOpenFWExecute() {
    QFileDialog dialog(this, "Open firmware", QFileInfo(FileName).path(), "*.kwy (*.kwy)");
    dialog.setObjectName("OpenDialog2");
    dialog.setDefaultSuffix("kwy");
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    LoadImage(dialog.selectedFiles().first());
}

void TFrameUpdateFW::ActionUpdateFWExecute() {
    // The file may have been rebuilt since it was opened: send what it holds now.
    if (!LoadImage(FileName)) return;
    LogLine("Detect bootloader... Press RESET to start");
    silenceTimer_.stop();
    transferring_ = false;
    setProgress(100);
    ProgressBar1->setVisible(true);
    DetectTicks = 0;
    Timer5.start();
    InfoPending = true;
    if (Port) Port->SendCommand(zuq::ChannelApp | NetBit, zuq::Cmd::StartUpdate);
}

void TFrameUpdateFW::ActionUpdateFWUpdate() {
    ActionUpdateFW->setEnabled(!Edit1->text().isEmpty());
}

void TFrameUpdateFW::ActionResetExecute() {
    if (!Port || !Port->IsOpen()) return;
    // A reset ends whatever update was running: the controller starts over.
    stopDetection();
    endTransfer();
    ProgressBar1->setVisible(false);
    Port->SendCommand(zuq::ChannelApp | NetBit, zuq::Cmd::SoftReset);
    LogLine("Soft reset...");
    setLines(false, false);
    startPulse({});
}

void TFrameUpdateFW::ActionResetUpdate() {
    ActionReset->setEnabled(Port && Port->IsOpen());
}

void TFrameUpdateFW::ActionUpdateFWVisibleExecute(bool checked) {
    GroupBox1->setVisible(checked);
}

void TFrameUpdateFW::Timer5Timer() {
    if (DetectTicks < 0) {
        Timer5.stop();
        return;
    }
    const int32_t t = DetectTicks;
    setProgress(100 - t);
    if (t < 5) {
        setLines(false, false);
        if (t == 4) sendBootInfo();
    } else if (t == 25) {
        // The application may ignore StartUpdate; a reset of the controller on the line brings up its
        // bootloader, whichever link is selected.
        if (Port) Port->SendCommand(zuq::ChannelApp, zuq::Cmd::SoftReset);
    } else if (t >= 50) {
        stopDetection();
        LogLine("Stop detecting.");
        ProgressBar1->setVisible(false);
        return;
    } else {
        setLines(true, true);
        if (Port)
            for (int i = 0; i < 4; ++i) Port->WriteRaw(WakeUp, sizeof WakeUp);
    }
    ++DetectTicks;
}

bool TFrameUpdateFW::HandleReply(const uint8_t* payload, uint8_t length) {
    if (length == 0 || Edit1->text().isEmpty()) return true;
    switch (payload[0]) {
        case zuq::Cmd::BootReady:
            LogLine("BOOT detected!!!");
            bootloaderAnswered();
            setProgress(0);
            if (InfoPending) sendBootInfo();
            InfoPending = false;
            return false;
        case zuq::Cmd::BootInfo: {
            bootloaderAnswered();
            uint8_t args[6] = {};
            std::copy(payload + 1, payload + 1 + std::min<int>(length - 1, 6), args);
            const uint16_t version = le::U16(args);
            LogLine(QString("BOOT v%1.%2 Prepare %3 bytes")
                        .arg(version >> 8)
                        .arg(version & 0x0F)
                        .arg(le::U32(args + 2)));
            return false;
        }
        case zuq::Cmd::BootPageRequest: {
            // A request without its page number cannot be answered; answering page 0 would be a guess.
            if (length < 3) return false;
            bootloaderAnswered();
            const uint16_t page = le::U16(payload + 1);
            if (FW.PageOutOfRange(page)) LogLine(QString("Block %1 out of range!").arg(page));
            setProgress(FW.Progress(page));
            uint8_t data[2 + TFirmwareImage::PageSize];
            le::Put16(data, page);
            FW.CopyPage(page, data + 2);
            if (Port)
                Port->SendCommandData(zuq::ChannelBoot | NetBit, zuq::Cmd::BootPage, data,
                                             sizeof data);
            return false;
        }
        case zuq::Cmd::BootPageWritten: {
            if (length < 3) return false;
            bootloaderAnswered();
            const uint16_t status = le::U16(payload + 1);
            LogLine(QString("Page %1 write!").arg(status & 0x0FFF));
            if (status & 0x4000) LogLine("Flash error.");
            if (status & 0x8000) {
                endTransfer();
                setLines(false, false);
                LogLine("Finish.");
                ProgressBar1->setVisible(false);
                startPulse([this] {
                    if (Port)
                        Port->SendCommand(zuq::ChannelApp | NetBit, zuq::Cmd::SoftReset);
                    LogLine("Soft reset...");
                });
            }
            return false;
        }
        case zuq::Cmd::BootInvalidDevice:
            // The bootloader refused the image: no pages will come, so silence is no longer a fault.
            endTransfer();
            LogLine("Invalid Device !!");
            return false;
        default:
            return true;
    }
}

void TFrameUpdateFW::DeviceLost() {
    const bool wasBusy = Busy() || PulsePending();
    stopDetection();
    endTransfer();
    pulseTimer_.stop();
    afterPulse_ = nullptr;
    InfoPending = false;
    ProgressBar1->setVisible(false);
    if (wasBusy) LogLine("Firmware update stopped: device lost.");
}

void TFrameUpdateFW::SilenceTimeout() {
    if (!transferring_) return;
    if (!Port || !Port->IsOpen()) {
        DeviceLost();
        return;
    }
    // Said once; the next bootloader reply arms the watchdog again.
    LogLine("Bootloader is not responding.");
}

void TFrameUpdateFW::stopDetection() {
    DetectTicks = -1;
    Timer5.stop();
}

void TFrameUpdateFW::bootloaderAnswered() {
    stopDetection();
    transferring_ = true;
    silenceTimer_.start();
}

void TFrameUpdateFW::endTransfer() {
    transferring_ = false;
    silenceTimer_.stop();
}

void TFrameUpdateFW::setLines(bool clearDtr, bool clearRts) {
    if (Port) Port->SetControlLines(clearDtr, clearRts);
    if (OnControlLines) OnControlLines(clearDtr, clearRts);
}

void TFrameUpdateFW::sendBootInfo() {
    uint8_t info[6];
    le::Put16(info, FW.DeviceCode);
    le::Put32(info + 2, FW.ImageSize);
    if (Port)
        Port->SendCommandData(zuq::ChannelBoot | NetBit, zuq::Cmd::BootInfo, info, sizeof info);
}

void TFrameUpdateFW::setProgress(int position) {
    ProgressBar1->setValue(std::clamp(position, 0, 100));
}

void TFrameUpdateFW::startPulse(std::function<void()> after) {
    if (after) {
        // Whatever an earlier pulse still has to do runs first, in order.
        auto earlier = std::move(afterPulse_);
        afterPulse_ = [earlier = std::move(earlier), after = std::move(after)] {
            if (earlier) earlier();
            after();
        };
    }
    pulseTimer_.start();
}

void TFrameUpdateFW::pulseEnd() {
    setLines(true, true);
    auto after = std::move(afterPulse_);
    afterPulse_ = nullptr;
    if (after) after();
}
