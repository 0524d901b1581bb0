#include "link/portSettingsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>
#include <QThread>

#include "link/treadRW.h"

namespace {
const int CommonRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};
}

TPortSettingsDialog::TPortSettingsDialog(QWidget* parent, const std::string& portName, const TDCB& settings)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Port settings: %1").arg(QString::fromStdString(portName)));

    BaudRate = new QComboBox(this);
    BaudRate->setObjectName(QStringLiteral("BaudRate"));
    BaudRate->setEditable(true);
    BaudRate->setInsertPolicy(QComboBox::NoInsert);
    BaudRate->setValidator(new QIntValidator(1, 99999999, BaudRate));
    for (int rate : CommonRates) BaudRate->addItem(QString::number(rate));
    BaudRate->setEditText(QString::number(settings.BaudRate));

    ByteSize = new QComboBox(this);
    ByteSize->setObjectName(QStringLiteral("ByteSize"));
    for (int bits = 5; bits <= 8; ++bits) ByteSize->addItem(QString::number(bits), bits);
    const int size = ByteSize->findData(int(settings.ByteSize));
    ByteSize->setCurrentIndex(size >= 0 ? size : ByteSize->findData(8));

    Parity = new QComboBox(this);
    Parity->setObjectName(QStringLiteral("Parity"));
    Parity->addItems({QStringLiteral("None"), QStringLiteral("Odd"), QStringLiteral("Even"),
                      QStringLiteral("Mark"), QStringLiteral("Space")});
    Parity->setCurrentIndex(settings.Parity <= 4 ? settings.Parity : 0);

    StopBits = new QComboBox(this);
    StopBits->setObjectName(QStringLiteral("StopBits"));
    StopBits->addItems({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    StopBits->setCurrentIndex(settings.StopBits <= 2 ? settings.StopBits : 0);

    FlowControl = new QComboBox(this);
    FlowControl->setObjectName(QStringLiteral("FlowControl"));
    FlowControl->addItems(
        {QStringLiteral("None"), QStringLiteral("Hardware (RTS/CTS)"), QStringLiteral("Xon / Xoff")});
    if (settings.Flags & (TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake))
        FlowControl->setCurrentIndex(FlowRtsCts);
    else if (settings.Flags & (TDCB::fOutX | TDCB::fInX))
        FlowControl->setCurrentIndex(FlowXonXoff);
    else
        FlowControl->setCurrentIndex(FlowNone);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Bits per second:"), BaudRate);
    form->addRow(QStringLiteral("Data bits:"), ByteSize);
    form->addRow(QStringLiteral("Parity:"), Parity);
    form->addRow(QStringLiteral("Stop bits:"), StopBits);
    form->addRow(QStringLiteral("Flow control:"), FlowControl);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

TDCB TPortSettingsDialog::Settings() const {
    TDCB result = settings_;
    result.DCBlength = TDCB::Size;
    bool ok = false;
    const uint32_t rate = BaudRate->currentText().trimmed().toUInt(&ok);
    if (ok && rate > 0) result.BaudRate = rate;
    result.ByteSize = static_cast<uint8_t>(ByteSize->currentData().toInt());
    result.Parity = static_cast<uint8_t>(Parity->currentIndex());
    result.StopBits = static_cast<uint8_t>(StopBits->currentIndex());
    result.Flags = TDCB::fBinary;
    if (result.Parity != 0) result.Flags |= TDCB::fParity;
    switch (FlowControl->currentIndex()) {
        case FlowRtsCts:
            result.Flags |= TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake;
            break;
        case FlowXonXoff:
            result.Flags |= TDCB::fOutX | TDCB::fInX;
            break;
        default:
            break;
    }
    return result;
}

bool TComRW::ShowConfigDialog(QWidget* parent) {
    lastError_.clear();
    const bool wasOpen = open_;
    SetActive(false);
    // Let the driver finish closing before the port is opened again.
    QThread::msleep(200);

    bool confirmed = false;
    TSerialDevice device;
    if (OpenDevice(device)) {  // else lastError_ says why
        TDCB record{};
        if (!device.Query(record)) {
            lastError_ = "the port's settings cannot be read";
        } else {
            // Start from the stored settings as the driver accepted them.
            if (lineSettings_.Configured() && device.Apply(lineSettings_)) device.Query(record);
            // Flag settings start unset each time.
            record.Flags = 0;
            TPortSettingsDialog dialog(parent, PortName, record);
            if (dialog.exec() == QDialog::Accepted) {
                SetLineSettings(dialog.Settings());
                confirmed = true;
            }
        }
        device.Close();
    }
    if (wasOpen) SetActive(true);
    return confirmed;
}
