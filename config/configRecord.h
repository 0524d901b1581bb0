// The controller's configuration record: 51 bytes, little-endian, the same on the wire and, key by key,
// in record files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int ConfigRecordSize = 51;
constexpr int ConfigRecordCount = 17;  // records 0..16
constexpr uint8_t ConfigSignature[4] = {'Q', 'E', 'Z', 'O'};

// Bits of ConfigRecord::Flags. Bits 12..15 have no check box and are cleared by a screen capture.
namespace ConfigFlag {
constexpr uint16_t EnablePwm = 0x0001;
constexpr uint16_t EnableI2C = 0x0002;
constexpr uint16_t EnableCan = 0x0004;
constexpr uint16_t Revers = 0x0008;
constexpr uint16_t SafeStart = 0x0010;
constexpr uint16_t LowBatteryOff = 0x0020;
constexpr uint16_t Smart = 0x0040;
constexpr uint16_t Turbo = 0x0080;
constexpr uint16_t SigmaDelta = 0x0100;
constexpr uint16_t Async = 0x0200;
constexpr uint16_t Mode3D = 0x0400;
constexpr uint16_t Break = 0x0800;
}  // namespace ConfigFlag

using TConfigBytes = std::array<uint8_t, ConfigRecordSize>;

struct ConfigRecord {
    uint8_t Signature[4] = {'Q', 'E', 'Z', 'O'};  // offset 0
    uint16_t Version = 3;                         // 4: high byte major, low byte minor
    uint8_t Number = 0;                           // 6
    uint16_t Flags = ConfigFlag::EnablePwm;       // 7
    float Scale_Current = 1.0f;                   // 9
    float Scale_Voltmeter = 1.0f;                 // 13
    int8_t Timing = -1;                           // 17: 0..30, -1 automatic
    uint16_t Freq_PWM = 8000;                     // 18: Hz
    uint16_t Max_Current = 300;                   // 20: 0.1 A
    uint16_t Limit_Current = 150;                 // 22: 0.1 A
    int16_t Limit_Temp = 900;                     // 24: 0.1 degree C
    uint16_t min_PWM = 40;                        // 26: 0.1 %
    uint16_t max_PWM = 950;                       // 28
    uint16_t start_PWM = 80;                      // 30
    uint16_t accel_PWM = 100;                     // 32
    uint16_t safe_PWM = 150;                      // 34
    uint16_t off_Bat = 90;                        // 36: 0.1 V
    uint8_t poles = 12;                           // 38
    uint8_t baseAddr = 0;                         // 39
    uint8_t musicIx = 0;                          // 40
    uint8_t musicVolume = 0;                      // 41
    uint8_t musicTempo = 0;                       // 42: 10 minus the tempo shown
    uint8_t PWMFilter = 0;                        // 43
    uint8_t SlowStart = 0;                        // 44: 0.1 s
    uint8_t musicDivide = 0;                      // 45: 0..3
    int8_t deAccel = 0;                           // 46: %
    uint8_t map = 0;                              // 47
    uint8_t asyncLevel = 40;                      // 48
    uint8_t asyncLevel2 = 40;                     // 49
    uint8_t neutral3D = 0;                        // 50: %

    // The defaults of a slot: every field as above, Number = slot.
    static ConfigRecord Defaults(uint8_t slot);
    // Reads a record from up to 51 bytes; missing bytes read as 0, bytes past 51 are ignored.
    static ConfigRecord FromBytes(const uint8_t* data, size_t length);
    TConfigBytes ToBytes() const;

    // Signature "QEZO" and Number at most 16; the version is not checked.
    bool IsValid() const;

    // Byte-wise, so that two records with the same NaN bits compare equal.
    bool operator==(const ConfigRecord& other) const { return ToBytes() == other.ToBytes(); }
};
