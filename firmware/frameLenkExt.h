// The " Net CAN " frame: scans the CAN net behind the controller, lists the links that answer and lets
// the operator pick the one that later requests address.
#pragma once

#include <QFrame>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QToolButton;
class TComLink;
class TWaiter;

class TFrameLinkScan : public QFrame {
    Q_OBJECT
public:
    using TLog = std::function<void(const QString&)>;

    static constexpr int ScanTicks = 50;  // 5 seconds for the net to answer a scan

    explicit TFrameLinkScan(QWidget* parent = nullptr);
    ~TFrameLinkScan() override;

    void Initialize(TComLink* port, TLog onLog);
    // Logs with the frame's "LINK: " prefix.
    void Log(const QString& text);

    void ActionScanExecute();
    void ActionScanUpdate();
    // The operator clicked the list, on an item or on its empty area.
    void ListView1Click();
    // Called first for every reply; false = taken.
    bool HandleReply(const uint8_t* payload, uint8_t length);

    // The link number of the list's selected item, 255 when none is selected.
    uint8_t SelectedLink() const;

    TWaiter* Waiter() const { return waiter_.get(); }

    // Set by the main window after Initialize; may stay empty.
    std::function<void(bool)> OnLinkChanged;
    TComLink* Port = nullptr;
    TLog OnLog;

    QGroupBox* GroupBox1 = nullptr;
    QToolButton* SpeedButton11 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    QListWidget* ListView1 = nullptr;
    QAction* ActionScan = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setIdentityUnknown();
    void send(uint8_t channel, uint8_t command);
    void sendByte(uint8_t channel, uint8_t command, uint8_t value);

    std::unique_ptr<TWaiter> waiter_;
};
