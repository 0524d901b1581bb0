#include "link/comLink.h"

#include <cstring>

bool TComLink::SendCommand(uint8_t channel, uint8_t command) {
    return QueuePacket(0, &command, 1, channel);
}

bool TComLink::SendCommandByte(uint8_t channel, uint8_t command, uint8_t value) {
    const uint8_t payload[2] = {command, value};
    return QueuePacket(0, payload, 2, channel);
}

bool TComLink::SendCommandData(uint8_t channel, uint8_t command, const uint8_t* data, uint8_t count) {
    uint8_t payload[1 + 255];
    payload[0] = command;
    if (count > 0) std::memcpy(payload + 1, data, count);
    return QueuePacket(0, payload, size_t(count) + 1, channel);
}
