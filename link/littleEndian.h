// Multi-byte values in payloads and files are little-endian: read and written byte by byte here, never
// by casting a pointer to a wider type.
#pragma once

#include <cstdint>

namespace le {

inline uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline int16_t S16(const uint8_t* p) {
    return int16_t(U16(p));
}
inline uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    Put16(p, uint16_t(v));
    Put16(p + 2, uint16_t(v >> 16));
}

}  // namespace le
