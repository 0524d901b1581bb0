#include "recordingLink.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "link/zuq.h"

bool TRecordingLink::QueuePacket(uint8_t, const uint8_t* data, size_t length, uint8_t channel) {
    const size_t kept = std::min<size_t>(length, zuq::MaxPayload);
    if (Open) Events.push_back({.Channel = channel, .Payload = {data, data + kept}});
    return Open;
}

void TRecordingLink::SetControlLines(bool clearDtr, bool clearRts) {
    if (Open) Events.push_back({.Kind = TKind::Lines, .ClearDtr = clearDtr, .ClearRts = clearRts});
}

bool TRecordingLink::WriteRaw(const uint8_t* buffer, uint8_t count) {
    if (Open) Events.push_back({.Kind = TKind::Raw, .Payload = {buffer, buffer + count}});
    return Open;
}

void TRecordingLink::DiscardQueued(uint8_t command) {
    if (Open) Events.push_back({.Kind = TKind::Discard, .Payload = {command}});
}

std::vector<TRecordingLink::TEvent> TRecordingLink::Packets() const {
    std::vector<TEvent> out;
    std::ranges::copy_if(Events, std::back_inserter(out), [](auto& e) { return e.Kind == TKind::Packet; });
    return out;
}

std::vector<TRecordingLink::TEvent> TRecordingLink::Packets(uint8_t command) const {
    std::vector<TEvent> out;
    std::ranges::copy_if(Packets(), std::back_inserter(out), [=](auto& e) { return e.Command() == command; });
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
