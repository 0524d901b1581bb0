#include "link/zuq.h"

#include <cstring>

namespace zuq {

const char* CommandName(uint8_t code, bool fromController) {
    switch (code) {
        case Cmd::Ping:
            return "Ping";
        case Cmd::Echo:
            return "Echo";
        case Cmd::BootReady:
            return "BootReady";
        case Cmd::BootInfo:
            return "BootInfo";
        case Cmd::BootPage:
            return "BootPage";
        case Cmd::BootPageRequest:
            return "BootPageRequest";
        case Cmd::BootPageWritten:
            return "BootPageWritten";
        case Cmd::BootInvalidDevice:
            return "BootInvalidDevice";
        case Cmd::ConfigFlash:
            return "ConfigFlash";
        case Cmd::ConfigSet:
            return "ConfigSet";
        case Cmd::ConfigGet:
            return "ConfigGet";
        case Cmd::ConfigData:
            return "ConfigData";
        case Cmd::StatusRequest:
            return "StatusRequest";
        case Cmd::Status:
            return "Status";
        case Cmd::Throttle:
            return "Throttle";
        case Cmd::SoftReset:
            return "SoftReset";
        case Cmd::SelectLink:
            return fromController ? "ActiveLink" : "SelectLink";
        case Cmd::ActiveLinkAlt:
            return "ActiveLink";
        case Cmd::StartUpdate:
            return "StartUpdate";
        case Cmd::ScanLinks:
            return "ScanLinks";
        case Cmd::Identify:
            return "Identify";
        case Cmd::Melody:
            return "Melody";
        case Cmd::FetTest:
            return "FetTest";
        case Cmd::Detect:
            return "Detect";
        case Cmd::Detected:
            return "Detected";
        case Cmd::ConfigUploaded:
            return "ConfigUploaded";
        default:
            return "?";
    }
}

char AddressLetter(uint8_t address) {
    switch (address) {
        case 1:
            return 'A';
        case 2:
            return 'B';
        case 3:
            return 'C';
        case 4:
            return 'D';
        default:
            return 'S';
    }
}

void BuildHeader(TPacket& record, uint8_t address) {
    uint8_t* b = record.Bytes;
    b[0] = Magic[0];
    b[1] = Magic[1];
    b[2] = Magic[2];
    b[OffAddress] = uint8_t(AddressLetter(address));
    uint16_t sum = 0;
    for (int i = 0; i < OffSum; ++i) sum = uint16_t(sum + b[i]);
    const int length = b[OffLength] > MaxPayload ? MaxPayload : b[OffLength];
    for (int i = 0; i < length; ++i) sum = uint16_t(sum + b[OffPayload + i]);
    b[OffSum] = uint8_t(sum & 0xFF);
    b[OffSum + 1] = uint8_t(sum >> 8);
}

uint8_t PacketSize(const TPacket& record) {
    const int length = record.Length() > MaxPayload ? MaxPayload : record.Length();
    return uint8_t(length + HeaderSize);
}

uint8_t BuildPacket(TPacket& record, uint8_t channel, const uint8_t* payload, size_t length,
                    uint8_t address) {
    const uint8_t n = uint8_t(length > size_t(MaxPayload) ? MaxPayload : length);
    record.Bytes[OffChannel] = channel;
    record.Bytes[OffLength] = n;
    if (n > 0) std::memcpy(record.Bytes + OffPayload, payload, n);
    BuildHeader(record, address);
    return n;
}

bool TCollectorZUQ::Collect(TPacket& record, uint8_t b) {
    if (index_ >= MaxPayload) {
        state_ = 0;
        index_ = 0;
        return false;
    }
    switch (state_) {
        case 0:
            if (index_ < 3 && b == Magic[index_]) {
                record.Bytes[index_++] = b;
            } else if (index_ == 3 && (b == 'S' || b == 'A' || b == 'B' || b == 'C' || b == 'D')) {
                record.Bytes[OffAddress] = b;
                letter_ = b;
                index_ = 0;
                state_ = 1;
            } else {
                // A byte that breaks the magic may itself start the next one: "ZZUQ" is a stray "Z"
                // followed by a packet, and the packet counts.
                record.Bytes[0] = b;
                index_ = (b == Magic[0]) ? 1 : 0;
            }
            return false;
        case 1:
            record.Bytes[OffChannel] = b;
            sum_ = uint16_t(Magic[0] + Magic[1] + Magic[2] + letter_ + b);
            state_ = 2;
            return false;
        case 2:
            record.Bytes[OffLength] = b;
            if (b == 0 || b > MaxPayload) {
                state_ = 0;
                index_ = 0;
                return false;
            }
            sum_ = uint16_t(sum_ + b);
            state_ = 4;
            return false;
        case 4:
            if (index_ == 0) {
                record.Bytes[OffSum] = b;
                record.Bytes[OffSum + 1] = 0;
                index_ = 1;
            } else {
                record.Bytes[OffSum + 1] = b;
                index_ = 0;
                state_ = 3;
            }
            return false;
        case 3:
            record.Bytes[OffPayload + index_] = b;
            sum_ = uint16_t(sum_ + b);
            ++index_;
            if (index_ == record.Bytes[OffLength]) {
                state_ = 0;
                index_ = 0;
                return sum_ == record.Sum();
            }
            return false;
        default:
            return false;
    }
}

}  // namespace zuq
