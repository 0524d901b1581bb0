#include "recordingLink.h"

#include <algorithm>
#include <cstdio>

#include "link/zuq.h"

bool TRecordingLink::QueuePacket(uint8_t, const uint8_t* data, size_t length, uint8_t channel) {
    if (!Open) return false;
    TEvent event;
    event.Channel = channel;
    event.Payload.assign(data, data + std::min<size_t>(length, zuq::MaxPayload));
    Events.push_back(std::move(event));
    return true;
}

void TRecordingLink::SetControlLines(bool clearDtr, bool clearRts) {
    if (!Open) return;
    TEvent event;
    event.Kind = TKind::Lines;
    event.ClearDtr = clearDtr;
    event.ClearRts = clearRts;
    Events.push_back(event);
}

bool TRecordingLink::WriteRaw(const uint8_t* buffer, uint8_t count) {
    if (!Open) return false;
    TEvent event;
    event.Kind = TKind::Raw;
    event.Payload.assign(buffer, buffer + count);
    Events.push_back(std::move(event));
    return true;
}

void TRecordingLink::DiscardQueued(uint8_t command) {
    if (!Open) return;
    TEvent event;
    event.Kind = TKind::Discard;
    event.Payload = {command};
    Events.push_back(std::move(event));
}

std::vector<TRecordingLink::TEvent> TRecordingLink::Packets() const {
    std::vector<TEvent> out;
    for (const TEvent& e : Events)
        if (e.Kind == TKind::Packet) out.push_back(e);
    return out;
}

std::vector<TRecordingLink::TEvent> TRecordingLink::Packets(uint8_t command) const {
    std::vector<TEvent> out;
    for (const TEvent& e : Events)
        if (e.Kind == TKind::Packet && e.Command() == command) out.push_back(e);
    return out;
}

std::string TRecordingLink::Describe() const {
    std::string text;
    char part[16];
    for (const TEvent& e : Events) {
        switch (e.Kind) {
            case TKind::Packet:
                std::snprintf(part, sizeof part, " ch=%02x", e.Channel);
                text += zuq::CommandName(e.Command());
                text += part;
                for (size_t i = 1; i < e.Payload.size() && i < 8; ++i) {
                    std::snprintf(part, sizeof part, " %02x", e.Payload[i]);
                    text += part;
                }
                break;
            case TKind::Raw:
                text += "raw " + std::string(e.Payload.begin(), e.Payload.end());
                break;
            case TKind::Lines:
                text += std::string("lines dtr=") + (e.ClearDtr ? "clear" : "set") +
                        " rts=" + (e.ClearRts ? "clear" : "set");
                break;
            case TKind::Discard:
                text += std::string("discard ") + zuq::CommandName(e.Command());
                break;
        }
        text += "\n";
    }
    return text;
}
