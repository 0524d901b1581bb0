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

#include "link/comLink.h"

namespace {
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

    connect(ActionOpenFW, &QAction::triggered, this, &TFrameUpdateFW::ActionOpenFWExecute);
    connect(ActionUpdateFW, &QAction::triggered, this, &TFrameUpdateFW::ActionUpdateFWExecute);
    connect(ActionReset, &QAction::triggered, this, &TFrameUpdateFW::ActionResetExecute);
    connect(ActionUpdateFWVisible, &QAction::triggered, this, &TFrameUpdateFW::ActionUpdateFWVisibleExecute);
    AskOpenFileName = [this] {
        QFileDialog dialog(this, "Open firmware", QFileInfo(FileName).path(), "*.kwy (*.kwy)");
        dialog.setObjectName("OpenDialog2");
        dialog.setDefaultSuffix("kwy");
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().first();
    };
}

TFrameUpdateFW::~TFrameUpdateFW() = default;

void TFrameUpdateFW::Initialize(TComLink* port, uint8_t netBit, const QString& deviceWord, TLog onLog) {
    Port = port;
    NetBit = netBit;
    DeviceWord = deviceWord;
    OnLog = std::move(onLog);
    Update.reset();
    if (Port) {
        Update = std::make_unique<TBootUpdate>(*Port);
        Update->OnLog = [this](const QString& text) { LogLine(text); };
        Update->OnProgress = [this](int position) { ProgressBar1->setValue(position); };
        Update->OnState = [this](TBootUpdate::TState state) { updateStateChanged(state); };
    }
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
    if (Busy()) return;
    const QString name = AskOpenFileName ? AskOpenFileName() : QString();
    // An update may have started while the dialog was open: its image stays the one sent.
    if (!name.isEmpty()) LoadImage(name);
}

void TFrameUpdateFW::ActionUpdateFWExecute() {
    if (!Update || Busy()) return;
    // The file may have been rebuilt since it was opened: send what it holds now.
    if (!LoadImage(FileName)) return;
    Update->Start(FW, NetBit);
}

void TFrameUpdateFW::ActionUpdateFWUpdate() {
    ActionOpenFW->setEnabled(!Busy());
    ActionUpdateFW->setEnabled(!Busy() && !Edit1->text().isEmpty());
}

void TFrameUpdateFW::ActionResetExecute() {
    if (Update) Update->Reset(NetBit);
}

void TFrameUpdateFW::ActionResetUpdate() {
    ActionReset->setEnabled(Port && Port->IsOpen());
}

void TFrameUpdateFW::ActionUpdateFWVisibleExecute(bool checked) {
    GroupBox1->setVisible(checked);
}

bool TFrameUpdateFW::HandleReply(const uint8_t* payload, uint8_t length) {
    // Without an image and without an update nothing here is meant for this frame.
    if (!Update || (Edit1->text().isEmpty() && !Update->Busy())) return true;
    return Update->HandleReply(payload, length);
}

void TFrameUpdateFW::DeviceLost() {
    if (Update) Update->DeviceLost();
}

void TFrameUpdateFW::updateStateChanged(TBootUpdate::TState state) {
    ProgressBar1->setVisible(state == TBootUpdate::TState::Detecting ||
                             state == TBootUpdate::TState::Transferring);
    ActionUpdateFWUpdate();
}
