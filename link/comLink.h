// The port as frames and protocol units see it: what they may do to the line, and nothing of how the
// serial port object does it. TComRW implements it; tests put a recording one in its place.
#pragma once

#include <cstddef>
#include <cstdint>

class TComLink {
public:
    virtual ~TComLink() = default;

    virtual bool IsOpen() const = 0;

    // Queues one packet (payload cut to 240 bytes). false, and nothing queued, while the port is
    // closed or when the transmit ring is full.
    virtual bool QueuePacket(uint8_t address, const uint8_t* data, size_t length, uint8_t channel) = 0;
    // The three wrappers build the payload (command code first) and queue it with address 0.
    bool SendCommand(uint8_t channel, uint8_t command);
    bool SendCommandByte(uint8_t channel, uint8_t command, uint8_t value);
    bool SendCommandData(uint8_t channel, uint8_t command, const uint8_t* data, uint8_t count);

    // true clears a line, false sets it; DTR first, then RTS. Nothing while closed.
    virtual void SetControlLines(bool clearDtr, bool clearRts) = 0;
    // Writes bytes straight to the line, outside the ring and unframed. false while closed.
    virtual bool WriteRaw(const uint8_t* buffer, uint8_t count) = 0;

    // Takes back every packet with this command code that is still waiting to go out, and discards
    // what the driver holds but has not sent yet, so that nothing of it reaches the controller any
    // more. Packets with other codes still waiting in the ring are kept.
    virtual void DiscardQueued(uint8_t command) = 0;

    // The link on the CAN net that the controller reports active, 255 for none: the link scan keeps
    // it, the frames print it in their log prefixes.
    uint8_t ActiveLink = 255;
};
