// A port that records, synchronously, what a frame or unit does to the line: packets, raw writes,
// control-line changes and discards, in order. Stands in for TComRW in tests that only need to see
// what was sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/comLink.h"

class TRecordingLink : public TComLink {
public:
    enum class TKind { Packet, Raw, Lines, Discard };
    struct TEvent {
        TKind Kind = TKind::Packet;
        uint8_t Channel = 0;             // packets
        std::vector<uint8_t> Payload{};  // packets: command first; raw: the bytes
        bool ClearDtr = false;           // lines
        bool ClearRts = false;
        uint8_t Command() const { return Payload.empty() ? 0 : Payload[0]; }
    };

    bool Open = true;
    std::vector<TEvent> Events;

    bool IsOpen() const override { return Open; }
    bool QueuePacket(uint8_t address, const uint8_t* data, size_t length, uint8_t channel) override;
    void SetControlLines(bool clearDtr, bool clearRts) override;
    bool WriteRaw(const uint8_t* buffer, uint8_t count) override;
    void DiscardQueued(uint8_t command) override;

    // The packets only, in order; with a command code, only those.
    std::vector<TEvent> Packets() const;
    std::vector<TEvent> Packets(uint8_t command) const;
    // "Name ch=81 len=3 ..." lines, one per packet, as in vek-sim's trace: for readable failures.
    std::string Describe() const;
    void Clear() { Events.clear(); }
    // Describe(), then Clear(): what was sent since the last call.
    std::string Take() {
        const std::string text = Describe();
        return Clear(), text;
    }
};
