// The connection strip: port list, Connect, Disconnect, Config and Ping. Owns the one port object.
#pragma once

#include <SimpleIni.h>  // CSimpleIniA is a typedef: no forward declaration

#include <QFrame>
#include <cstdint>
#include <memory>
#include <string>

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
    TDCB LineSettings{};            // as the operator last chose them
    std::string PortName;           // the remembered port name

    QLabel* Label3 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QToolButton* Connect = nullptr;
    QToolButton* Button1 = nullptr;
    QToolButton* Button4 = nullptr;
    QToolButton* Button2 = nullptr;
};
