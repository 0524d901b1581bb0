// The controller's identity reply (Identify): firmware text and serial number.
#pragma once

#include <QString>
#include <cstdint>

struct TIdentity {
    QString Firmware;
    uint32_t Serial = 0;
};

// The text runs from payload byte 1 up to its first zero byte, at most 24 bytes; the serial number is
// payload bytes 21..24, least significant first. Bytes a short reply lacks read as 0.
TIdentity DecodeIdentity(const uint8_t* payload, uint8_t length);
