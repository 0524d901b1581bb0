// The serial device layer: one open serial port, POSIX (termios, poll, ioctl).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Line settings in the 28-byte layout of a Windows device-control block, so that settings files read
// the same on every platform. Flag bits keep their Windows meanings (TDCB::f... masks).
struct TDCB {
    uint32_t DCBlength = 0;  // 0 = not configured: opening keeps the driver's settings
    uint32_t BaudRate = 0;
    uint32_t Flags = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;

    static constexpr uint32_t Size = 28;
    // Flag word bits (Windows meanings).
    static constexpr uint32_t fBinary = 1u << 0;
    static constexpr uint32_t fParity = 1u << 1;
    static constexpr uint32_t fOutxCtsFlow = 1u << 2;
    static constexpr uint32_t fOutxDsrFlow = 1u << 3;
    static constexpr uint32_t fDtrControlMask = 3u << 4;
    static constexpr uint32_t fDsrSensitivity = 1u << 6;
    static constexpr uint32_t fTXContinueOnXoff = 1u << 7;
    static constexpr uint32_t fOutX = 1u << 8;
    static constexpr uint32_t fInX = 1u << 9;
    static constexpr uint32_t fErrorChar = 1u << 10;
    static constexpr uint32_t fNull = 1u << 11;
    static constexpr uint32_t fRtsControlMask = 3u << 12;
    static constexpr uint32_t fRtsControlHandshake = 2u << 12;
    static constexpr uint32_t fAbortOnError = 1u << 14;

    bool Configured() const { return DCBlength != 0; }
};
static_assert(sizeof(TDCB) == TDCB::Size, "TDCB must keep the 28-byte device-control block layout");

class TSerialDevice;
