#include "firmware/linkScan.h"

#include "link/comLink.h"
#include "link/littleEndian.h"
#include "link/zuq.h"

TLinkScan::TLinkScan(TComLink& port, QObject* parent)
    : QObject(parent), port_(port), waiter_([this](const QString& text) { log(text); }) {
    port_.ActiveLink = NoLink;
}

uint8_t TLinkScan::Active() const {
    return port_.ActiveLink;
}

bool TLinkScan::Scan() {
    if (!port_.IsOpen()) return false;
    setLinks({});
    log("Starting scan ...");
    // A scan already waiting keeps its deadline; the requests go out all the same.
    waiter_.Start(ScanTicks, "Scan time out.", {}, [this] { setState(TState::TimedOut); });
    setState(TState::Scanning);
    port_.ActiveLink = NoLink;  // what the controller routes to is unknown until it answers
    port_.SendCommandByte(zuq::ChannelApp, zuq::Cmd::SelectLink, NoLink);
    port_.SendCommand(zuq::ChannelApp, zuq::Cmd::ScanLinks);
    return true;
}

void TLinkScan::Select(uint8_t link) {
    identityKnown_ = false;
    // Unknown until the controller answers: a request that never reaches it (a port closed with it
    // still waiting) must not leave the link picked before looking confirmed.
    port_.ActiveLink = NoLink;
    port_.SendCommandByte(zuq::ChannelApp, zuq::Cmd::SelectLink, link);
}

bool TLinkScan::HandleReply(const uint8_t* payload, uint8_t length) {
    if (length == 0) return true;
    switch (payload[0]) {
        case zuq::Cmd::ActiveLink:
        case zuq::Cmd::ActiveLinkAlt: {
            // Without its argument the reply says nothing; taken, so no other frame misreads it.
            if (length < 2) return false;
            const uint8_t active = payload[1];
            identityKnown_ = false;
            port_.ActiveLink = active;
            if (active == NoLink) {
                log("No active link");
                port_.SendCommand(zuq::ChannelApp, zuq::Cmd::Identify);
            } else {
                log(QString("Active link #%1.").arg(active));
                port_.SendCommand(zuq::ChannelApp | zuq::NetBit, zuq::Cmd::Identify);
            }
            if (OnActiveLink) OnActiveLink(active);
            return false;
        }
        case zuq::Cmd::ScanLinks: {
            if (length < 5) return false;
            const uint32_t mask = le::U32(payload + 1);
            std::vector<uint8_t> links;
            for (int n = 0; n < 32; ++n)
                if (mask & (1u << n)) links.push_back(uint8_t(n));
            setLinks(std::move(links));
            log(QString("Scan complete (%1).").arg(mask, 0, 16));
            waiter_.Cancel();
            setState(TState::Done);
            return false;
        }
        case zuq::Cmd::Identify:
            identity_ = DecodeIdentity(payload, length);
            identityKnown_ = true;
            if (OnIdentity) OnIdentity(identity_);
            return true;  // the main window shows it too
        case zuq::Cmd::Detected:
            Scan();
            return true;  // the configuration frame learns of the controller from it as well
        default:
            return true;
    }
}

void TLinkScan::log(const QString& text) {
    if (OnLog) OnLog(text);
}

void TLinkScan::setState(TState state) {
    state_ = state;
    if (OnState) OnState(state_);
}

void TLinkScan::setLinks(std::vector<uint8_t> links) {
    links_ = std::move(links);
    if (OnLinks) OnLinks(links_);
}
