// The simulated controller's configuration record (51 bytes) and telemetry record (29 bytes), kept as
// wire bytes and read and written field by field, little-endian.
#pragma once

#include <array>
#include <cstdint>

#include "link/littleEndian.h"

namespace sim {

constexpr int RecordSize = 51;
constexpr int RecordCount = 17;
constexpr int StatusSize = 29;

using TConfigBytes = std::array<uint8_t, RecordSize>;
using TStatusBytes = std::array<uint8_t, StatusSize>;

// Offsets of the configuration record's fields.
namespace Rec {
constexpr int Signature = 0;
constexpr int Version = 4;
constexpr int Number = 6;
constexpr int Flags = 7;
constexpr int ScaleCurrent = 9;
constexpr int ScaleVoltmeter = 13;
constexpr int Timing = 17;
constexpr int FreqPwm = 18;
constexpr int MaxCurrent = 20;
constexpr int LimitCurrent = 22;
constexpr int LimitTemp = 24;
constexpr int MinPwm = 26;
constexpr int MaxPwm = 28;
constexpr int StartPwm = 30;
constexpr int AccelPwm = 32;
constexpr int SafePwm = 34;
constexpr int OffBat = 36;
constexpr int Poles = 38;
constexpr int BaseAddr = 39;
constexpr int MusicIx = 40;
constexpr int AsyncLevel = 48;
constexpr int AsyncLevel2 = 49;
}  // namespace Rec

using le::Put16;
using le::Put32;
using le::S16;
using le::U16;
using le::U32;

// The factory record for a slot: signature "QEZO", version 0.3, Number = slot, the documented defaults.
TConfigBytes DefaultRecord(uint8_t number);

// A record the controller accepts: signature "QEZO" and a number 0..16.
bool RecordValid(const TConfigBytes& record);

// Telemetry as the controller measures it; Pack lays it out as the 29-byte wire record.
struct TStatusRecord {
    int16_t Current = 0;         // 0.1 A
    uint16_t Voltage = 0;        // 0.1 V
    int16_t Temperature = 0;     // 0.1 degree C
    uint16_t ThrottleLevel = 0;  // 0.1 %
    int16_t TempMcu = 0;         // 0.1 degree C
    int16_t AvgCurrent = 0;      // 0.1 A
    uint16_t AvgSpeed = 0;       // rpm
    uint16_t TimingDelay = 0;    // microseconds
    uint8_t Mode = 0;
    uint8_t Address = 0;
    uint8_t Flags = 0;
    uint16_t InputPwm = 0;
    uint16_t InputI2c = 0;
    uint16_t InputCan = 0;
    uint16_t InputPc = 0;
    int16_t Debug = 0;

    TStatusBytes Pack() const;
};

// Bits of the telemetry record's Flags byte.
namespace StatusFlag {
constexpr uint8_t Stopped = 0x01;
constexpr uint8_t Starting = 0x02;
constexpr uint8_t Overheat = 0x04;
constexpr uint8_t Overload = 0x08;
constexpr uint8_t Blocking = 0x10;
constexpr uint8_t Test = 0x20;
constexpr uint8_t ShortCircuit = 0x40;
constexpr uint8_t Sound = 0x80;
}  // namespace StatusFlag

}  // namespace sim
