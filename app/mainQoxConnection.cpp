// The main window's connection commands: Connect, Disconnect, the port settings, Ping, their enabled
// states, and a port that goes away.
#include <QAction>
#include <QComboBox>

#include "app/mainQox.h"
#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "link/zuq.h"

void TFormMainQox::OnDeviceLost() {
    Beep();
    Log(QStringLiteral("Port %1 is lost.").arg(QString::fromStdString(FrameConnectPort1->PortName)));
    FrameUpdateFW1->DeviceLost();
    FrameConnectPort1->UpdateButtons();
    UpdateControls();
}

void TFormMainQox::ActionConnectExecute() {
    setWindowTitle(Caption);
    // The port object clears DTR and RTS itself after every open.
    FrameConnectPort1->ConnectClick();
    // Another controller, or one that missed the last pick, may answer now: its active link is unknown.
    if (TComLink* port = Port()) port->ActiveLink = 255;
    Log(QStringLiteral("Connecting %1 port (%2 bod).")
            .arg(QString::fromStdString(FrameConnectPort1->PortName))
            .arg(FrameConnectPort1->LineSettings.BaudRate));
    LogPortProblems();
    if (TComLink* port = FrameConnectPort1->Port()) port->SendCommand(zuq::ChannelApp, zuq::Cmd::Detect);
    UpdateControls();
    ActionList1.UpdateAll();
}

void TFormMainQox::LogPortProblems() {
    const QString name = QString::fromStdString(FrameConnectPort1->PortName);
    const std::string error = FrameConnectPort1->LastError();
    if (!IsConnected() && !error.empty())
        Log(QStringLiteral("Cannot open %1: %2.").arg(name, QString::fromStdString(error)));
    const std::string refused = FrameConnectPort1->RefusedSetting();
    if (IsConnected() && !refused.empty())
        Log(QStringLiteral("The driver of %1 refused %2; the line runs at %3.")
                .arg(name, QString::fromStdString(refused),
                     QString::fromStdString(FrameConnectPort1->LineInUse().Describe())));
}

void TFormMainQox::ActionDisconnectExecute() {
    FrameConnectPort1->Button1Click();
    Log(QStringLiteral("Disconnecting %1 port .").arg(QString::fromStdString(FrameConnectPort1->PortName)));
    setWindowTitle(Caption);
    UpdateControls();
    ActionList1.UpdateAll();
}

void TFormMainQox::ActionConfigExecute() {
    FrameConnectPort1->Button4Click();
    const std::string error = FrameConnectPort1->LastError();
    if (!error.empty())
        Log(QStringLiteral("Port settings of %1: %2.")
                .arg(QString::fromStdString(FrameConnectPort1->PortName), QString::fromStdString(error)));
    else
        LogPortProblems();  // the reopened line may not take the new settings
    UpdateControls();
    ActionList1.UpdateAll();
}

void TFormMainQox::ActionPingExecute() {
    if (TComLink* port = FrameConnectPort1->Port())
        port->SendCommand(zuq::ChannelApp | NetBit, zuq::Cmd::Ping);
    Log(QStringLiteral("Send ping..."));
}

void TFormMainQox::ActionConnectUpdate() {
    ActionConnect->setEnabled(!IsConnected());
}
void TFormMainQox::ActionDisconnectUpdate() {
    ActionDisconnect->setEnabled(IsConnected());
}
void TFormMainQox::ActionConfigUpdate() {
    ActionConfig->setEnabled(FrameConnectPort1->ComboBox1->count() > 1);
}
void TFormMainQox::ActionPingUpdate() {
    ActionPing->setEnabled(IsConnected());
}
