// The controller's telemetry record: the payload of a Status reply after its command byte.
#pragma once

#include <cstddef>
#include <cstdint>

// The payload of a Status reply after its command byte: 29 bytes, little-endian, no padding.
struct StatusRecord {
    static constexpr size_t Size = 29;

    int16_t Current = 0;
    uint16_t Voltage = 0;
    int16_t Temperature = 0;
    uint16_t ThrottleLevel = 0;
    int16_t TempMcu = 0;
    int16_t AvgCurrent = 0;
    uint16_t AvgSpeed = 0;
    uint16_t TimingDelay = 0;
    uint8_t Mode = 0;
    uint8_t Address = 0;
    uint8_t Flags = 0;
    uint16_t InputPwm = 0;
    uint16_t InputI2c = 0;
    uint16_t InputCan = 0;
    uint16_t InputPc = 0;
    int16_t Debug = 0;

    // Reads the first min(count, Size) bytes; the rest of the record stays zero.
    static StatusRecord FromBytes(const uint8_t* data, size_t count);
    // The value of telemetry channel 0..12 as it goes to the graph.
    float Channel(int index) const;
};
