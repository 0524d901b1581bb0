#include "link/identity.h"

#include <algorithm>

#include "link/littleEndian.h"

TIdentity DecodeIdentity(const uint8_t* payload, uint8_t length) {
    uint8_t buffer[24] = {};
    if (payload != nullptr && length > 1)
        std::copy(payload + 1, payload + 1 + std::min(length - 1, 24), buffer);
    TIdentity identity;
    const auto text = std::find(buffer, buffer + sizeof buffer, uint8_t(0)) - buffer;
    identity.Firmware = QString::fromLatin1(reinterpret_cast<const char*>(buffer), int(text));
    identity.Serial = le::U32(buffer + 20);
    return identity;
}
