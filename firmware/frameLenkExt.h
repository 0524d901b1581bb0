// The " Net CAN " frame: shows the links that the scan (firmware/linkScan.h) found and lets the operator
// pick the one that later requests address, by mouse or keyboard.
#pragma once

#include <QFrame>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "firmware/linkScan.h"

class QAction;
class QGroupBox;
class QLabel;
class QListWidget;
class QToolButton;
class TComLink;

class TFrameLinkScan : public QFrame {
    Q_OBJECT
public:
    using TLog = std::function<void(const QString&)>;

    explicit TFrameLinkScan(QWidget* parent = nullptr);
    ~TFrameLinkScan() override;

    void Initialize(TComLink* port, TLog onLog);
    // Logs with the frame's "LINK: " prefix.
    void Log(const QString& text);

    void ActionScanExecute();
    void ActionScanUpdate();
    // The operator picked a link: clicked the list (an item or its empty area) or moved the selection
    // with the keyboard.
    void ListView1Click();
    // Called first for every reply; false = taken.
    bool HandleReply(const uint8_t* payload, uint8_t length);

    // The link number of the list's selected item, 255 when none is selected.
    uint8_t SelectedLink() const;

    // Set by the main window after Initialize; may stay empty. Called with false when the operator
    // picks a link, with true when the controller reports the active link. Every change of the list's
    // selection, the operator's and the scan's alike, also shows as ListView1's itemSelectionChanged.
    std::function<void(bool)> OnLinkChanged;
    TComLink* Port = nullptr;
    TLog OnLog;
    std::unique_ptr<TLinkScan> Scan;  // made by Initialize

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
    void showLinks(const std::vector<uint8_t>& links);
    void showActiveLink(uint8_t link);
};
