// The connection strip: port list, Connect, Disconnect, Config and Ping. Owns the one port object.
#pragma once

#include <SimpleIni.h>  // CSimpleIniA is a typedef: no forward declaration

#include <QFrame>
#include <cstdint>
#include <memory>
#include <string>

#include "link/Waiter.h"
#include "link/treadRW.h"

class QComboBox;
class QLabel;
class QToolButton;

class TFrameConnectPort : public QFrame {
    Q_OBJECT
public:
    explicit TFrameConnectPort(QWidget* parent = nullptr);
    ~TFrameConnectPort() override;

    // Creates the port object if there is none, sets its three events, forgets the remembered name.
    void InitPort(TComRW::TPacketEvent onPacket, TComRW::TRawDataEvent onRawData,
                  TComRW::TDeviceLostEvent onDeviceLost);
    bool IsConnected() const;
    // The port as the frames send through it; valid from InitPort on.
    TComLink* Port() const { return ComRW.get(); }
    // Why the port did not open, or the settings dialog could not reach it; empty when it did.
    std::string LastError() const;
    // The line setting the driver refused at the last opening or change, empty when it took them.
    std::string RefusedSetting() const;
    // What the open line runs at as the driver reports it; the chosen settings while closed.
    TDCB LineInUse() const;

    void RefreshPorts();
    void ApplySettings();
    void TakeSettings();
    void SetDefaults();
    void LoadSettings(CSimpleIniA& ini);
    void SaveSettings(CSimpleIniA& ini);
    void UpdateButtons();

    void ConnectClick();
    void Button1Click();
    void Button4Click();
    void ComboBox1Click();

    std::unique_ptr<TComRW> ComRW;  // the port object, created by InitPort
    TDCB LineSettings{};            // as the operator last chose them; the defaults until then
    std::string PortName;           // the remembered port name: the one last picked, used or loaded

    // Where the frame's own lines go (closing on a pick, no answer after Connect).
    TWaiter::TLog OnLog;
    // Armed by every Connect that opens the port: 20 ticks without any packet from the controller
    // log that none answered, naming the line settings. Any packet ends it. Public for tests.
    TWaiter* AnswerWaiter = nullptr;
    static constexpr int AnswerTicks = 20;

    QLabel* Label3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QToolButton* Connect = nullptr;
    QToolButton* Button1 = nullptr;
    QToolButton* Button4 = nullptr;
    QToolButton* Button2 = nullptr;
};
