// The CAN net scan and link selection, without widgets: asks the controller on the line which links
// answer on its net, selects one of them, and follows the controller's reports of the active link and
// of the identity of the controller it addresses. The " Net CAN " frame and the command line drive it
// alike: replies and ticks in, packets, log lines and state out.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/Waiter.h"
#include "link/identity.h"

class TComLink;

class TLinkScan : public QObject {
    Q_OBJECT
public:
    enum class TState { Idle, Scanning, Done, TimedOut };

    static constexpr int ScanTicks = 50;  // 5 seconds for the net to answer a scan
    static constexpr uint8_t NoLink = 255;

    // Forgets the port's active link: nothing is known until the controller reports it.
    explicit TLinkScan(TComLink& port, QObject* parent = nullptr);

    // Empties the list of links, makes no link active and asks for the links that answer. Nothing
    // (false) while the port is closed. A scan while one waits keeps the first deadline.
    bool Scan();
    // Asks the controller on the line to make `link` active (NoLink for none). The answer comes as an
    // ActiveLink reply; the identity of the controller it names follows.
    void Select(uint8_t link);
    // A reply of any channel; false when taken (ActiveLink, the scan's answer), true to pass it on.
    bool HandleReply(const uint8_t* payload, uint8_t length);

    TState State() const { return state_; }
    // The links of the last scan's answer, ascending.
    const std::vector<uint8_t>& Links() const { return links_; }
    // The active link as the controller last reported it, NoLink for none.
    uint8_t Active() const;
    // The identity of the addressed controller; IdentityKnown() false until its reply came.
    const TIdentity& Identity() const { return identity_; }
    bool IdentityKnown() const { return identityKnown_; }
    // The scan's time-out; its Tick is public, so tests step it.
    TWaiter& Waiter() { return waiter_; }

    std::function<void(const QString&)> OnLog;
    std::function<void(TState)> OnState;
    // The list of links changed: emptied by a scan, filled by its answer.
    std::function<void(const std::vector<uint8_t>&)> OnLinks;
    // The controller reported the active link (NoLink for none); its identity is unknown until OnIdentity.
    std::function<void(uint8_t)> OnActiveLink;
    std::function<void(const TIdentity&)> OnIdentity;

private:
    void log(const QString& text);
    void setState(TState state);
    void setLinks(std::vector<uint8_t> links);

    TComLink& port_;
    TWaiter waiter_;
    TState state_ = TState::Idle;
    std::vector<uint8_t> links_;
    TIdentity identity_;
    bool identityKnown_ = false;
};
