// Packet layout, sum, builder, receive state machine and command codes of the serial protocol.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zuq {

constexpr int MaxPayload = 240;
constexpr int HeaderSize = 8;
constexpr int MaxPacket = HeaderSize + MaxPayload;  // 248

// Offsets of the fields inside a packet.
constexpr int OffMagic = 0;
constexpr int OffAddress = 3;
constexpr int OffChannel = 4;
constexpr int OffLength = 5;
constexpr int OffSum = 6;
constexpr int OffPayload = 8;

constexpr uint8_t Magic[3] = {'Z', 'U', 'Q'};
constexpr uint8_t DefaultLetter = 'S';

// Channel bytes.
constexpr uint8_t ChannelApp = 0x01;    // the controller's application
constexpr uint8_t ChannelBoot = 0xBB;   // the controller's bootloader
constexpr uint8_t ChannelReply = 0x04;  // replies of the controller on the serial line
constexpr uint8_t NetBit = 0x80;        // OR-ed in while a link on the CAN net is selected

// Command codes (payload byte 0).
namespace Cmd {
constexpr uint8_t Ping = 0x01;
constexpr uint8_t Echo = 0x02;
constexpr uint8_t BootReady = 0x04;
constexpr uint8_t BootInfo = 0x05;
constexpr uint8_t BootPage = 0x07;
constexpr uint8_t BootPageRequest = 0x08;
constexpr uint8_t BootPageWritten = 0x09;
constexpr uint8_t BootInvalidDevice = 0x0A;
constexpr uint8_t ConfigFlash = 0x17;
constexpr uint8_t ConfigSet = 0x18;
constexpr uint8_t ConfigGet = 0x19;
constexpr uint8_t ConfigData = 0x1A;
constexpr uint8_t StatusRequest = 0x33;
constexpr uint8_t Status = 0x44;
constexpr uint8_t Throttle = 0x46;
constexpr uint8_t SoftReset = 0x5A;
constexpr uint8_t SelectLink = 0x5B;
constexpr uint8_t ActiveLink = 0x5B;
constexpr uint8_t ActiveLinkAlt = 0x5C;
constexpr uint8_t StartUpdate = 0x5D;
constexpr uint8_t ScanLinks = 0x5E;
constexpr uint8_t Identify = 0x77;
constexpr uint8_t Melody = 0x91;
constexpr uint8_t FetTest = 0x92;
constexpr uint8_t Detect = 0xFD;
constexpr uint8_t Detected = 0xFE;
constexpr uint8_t ConfigUploaded = 0xFF;
}  // namespace Cmd

// The name of a command code for logs and traces ("?" for an unknown code). 0x5B reads "SelectLink"
// going out and "ActiveLink" coming back; pass fromController to pick the reply's name.
const char* CommandName(uint8_t code, bool fromController = false);

// One slot of a transmit or receive ring: the packet byte for byte in wire order.
struct TPacket {
    uint8_t Bytes[MaxPacket] = {};

    uint8_t Channel() const { return Bytes[OffChannel]; }
    uint8_t Length() const { return Bytes[OffLength]; }
    uint16_t Sum() const { return uint16_t(Bytes[OffSum] | (Bytes[OffSum + 1] << 8)); }
    uint8_t* Payload() { return Bytes + OffPayload; }
    const uint8_t* Payload() const { return Bytes + OffPayload; }
};

// 1 -> 'A', 2 -> 'B', 3 -> 'C', 4 -> 'D', anything else -> 'S'.
char AddressLetter(uint8_t address);

// Writes magic, address letter and sum into a record whose channel, length and payload are set.
void BuildHeader(TPacket& record, uint8_t address);

// Number of bytes to transmit from a record: length + 8.
uint8_t PacketSize(const TPacket& record);

// Fills a record with a complete packet (channel, payload cut to 240 bytes) and its header.
// Returns the payload length actually stored.
uint8_t BuildPacket(TPacket& record, uint8_t channel, const uint8_t* payload, size_t length,
                    uint8_t address = 0);

// Byte-by-byte receive state machine that rebuilds incoming packets in place.
class TCollectorZUQ {
public:
    // Feeds one byte; true exactly when this byte completed a packet whose sum is correct.
    // The caller passes the same record until Collect returns true.
    bool Collect(TPacket& record, uint8_t b);

    uint8_t State() const { return state_; }

private:
    uint8_t state_ = 0;
    uint8_t index_ = 0;
    uint16_t sum_ = 0;
    uint8_t letter_ = 0;
};

}  // namespace zuq
