// firmware: the bootloader update of the window's unit, on the controller, on one link, or on every
// link a scan finds, one after another; with deadlines where the unit only logs.
#pragma once

#include <QJsonArray>
#include <vector>

#include "cli/portSession.h"
#include "firmware/bootUpdate.h"

class TFirmwareSession : public TPortSession {
    Q_OBJECT
public:
    TFirmwareSession(const TCliOptions& options, const TCliInputs& inputs, const QString& port,
                     TCliProgress& progress);

protected:
    void Run() override;
    void Reply(const uint8_t* payload, uint8_t length, uint8_t channel) override;
    void Interrupted() override;
    void DeviceLost() override;

private:
    void NextLink();
    void Update();
    void StateChanged(TBootUpdate::TState state);
    void Failed();
    QJsonObject Data() const;
    QString Where() const;  // "" for the controller on the line, "link 2: " on the net

    TBootUpdate boot_;
    TBootUpdate::TState state_ = TBootUpdate::TState::Idle;  // as last reported
    QTimer silence_;              // the bootloader's longest pause during a transfer
    std::vector<uint8_t> links_;  // --all-links: the links of the scan; --link: that one
    size_t next_ = 0;
    int link_ = -1;  // the link being updated, -1 for the controller on the line
    int page_ = -1;  // the page last asked for
    QJsonArray updated_;
};
