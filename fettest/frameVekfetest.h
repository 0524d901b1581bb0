// The " FET Test " frame: six switch lists with their interlock, duty and delay, and "CHECK", which
// sends the pattern to the controller as one FetTest command.
#pragma once

#include <QFrame>
#include <array>
#include <cstdint>
#include <functional>

#include "fettest/fetPattern.h"

class QComboBox;
class QToolButton;
class TComLink;
class TMaskEditUpDown;

class TFrameFETest : public QFrame {
    Q_OBJECT
public:
    explicit TFrameFETest(QWidget* parent = nullptr);

    // The connection frame carries the request; netBit is asked at every send.
    void Initialize(TComLink* port, std::function<uint8_t()> netBit);

    // The click of all six lists: applies the interlock for the list the operator changed.
    void ComboBox1Click(QComboBox* sender);
    // "CHECK": sends the pattern while the connection is open, otherwise does nothing.
    void SpeedButton1Click();

    TFetStates States() const;
    void SetStates(const TFetStates& states);
    // The six data bytes of FetTest from the controls.
    std::array<uint8_t, 6> BuildRequest();

    // High side A, B, C then low side A, B, C.
    QComboBox* ComboBox1 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QComboBox* ComboBox3 = nullptr;
    QComboBox* ComboBox4 = nullptr;
    QComboBox* ComboBox5 = nullptr;
    QComboBox* ComboBox6 = nullptr;
    TMaskEditUpDown* MaskEditUpDown1 = nullptr;  // "PWM (%) = "
    TMaskEditUpDown* MaskEditUpDown2 = nullptr;  // "Delay (ms) = "
    QToolButton* SpeedButton1 = nullptr;         // "CHECK"

private:
    std::array<QComboBox*, 6> Lists() const;

    TComLink* port_ = nullptr;
    std::function<uint8_t()> netBit_;
};
