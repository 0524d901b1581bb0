#include "telemetry/statusPoll.h"

#include <algorithm>

#include "link/comLink.h"
#include "link/zuq.h"

bool TStatusPoll::Request() {
    const int value = Streaming ? std::clamp(Rate, 1, MaxRate) : 0;
    return port_.SendCommandByte(uint8_t(zuq::ChannelApp | NetBit), zuq::Cmd::StatusRequest, uint8_t(value));
}

bool TStatusPoll::Stop(uint8_t netBit) {
    return port_.SendCommandByte(uint8_t(zuq::ChannelApp | netBit), zuq::Cmd::StatusRequest, 0);
}

bool TStatusPoll::FromSelected(uint8_t channel, uint8_t netBit) {
    return channel == (zuq::ChannelReply | netBit);
}

std::optional<StatusRecord> TStatusPoll::Take(const uint8_t* payload, uint8_t length, uint8_t channel) const {
    if (payload == nullptr || length < 1 || payload[0] != zuq::Cmd::Status || !FromSelected(channel, NetBit))
        return std::nullopt;
    return StatusRecord::FromBytes(payload + 1, size_t(length - 1));
}
