// The port settings dialog: baud rate, byte size, parity, stop bits and flow control of a serial port.
#pragma once

#include <QDialog>
#include <string>

#include "link/serialDevice.h"

class QComboBox;

class TPortSettingsDialog : public QDialog {
public:
    // Shows `settings`; the flow-control choice is read from its flag word.
    TPortSettingsDialog(QWidget* parent, const std::string& portName, const TDCB& settings);

    // The shown settings with the operator's choices; the flag word carries only binary mode and the
    // chosen flow control (Windows bit meanings). A baud rate that is not a number keeps the shown one.
    TDCB Settings() const;

    QComboBox* BaudRate = nullptr;  // common rates, and any other number typed in
    QComboBox* ByteSize = nullptr;
    QComboBox* Parity = nullptr;
    QComboBox* StopBits = nullptr;
    QComboBox* FlowControl = nullptr;

    enum TFlow { FlowNone = 0, FlowRtsCts = 1, FlowXonXoff = 2 };

private:
    TDCB settings_;
};
