// Status polling: asks the selected controller for its telemetry and takes its Status replies. The
// status frame drives it once a second and on every change of its settings; the command line drives
// it from its own timer.
#pragma once

#include <cstdint>
#include <optional>

#include "telemetry/statusRecord.h"

class TComLink;

class TStatusPoll {
public:
    static constexpr int MaxRate = 250;

    explicit TStatusPoll(TComLink& port) : port_(port) {}

    // 0x00 for the controller on the line, 0x80 for the node selected on the CAN net.
    uint8_t NetBit = 0;
    // While streaming, a request asks for Rate records a second (1..250); otherwise for none.
    bool Streaming = true;
    int Rate = 20;

    // One StatusRequest to the selected controller: it answers with one record at once and then
    // streams at the rate asked for (0 ends a stream). false while the port is closed.
    bool Request();
    // Ends the stream of the controller reached with `netBit`: the one being left when the selection
    // changes, which must be told before requests start going to the next one.
    bool Stop(uint8_t netBit);

    // Whether a reply on `channel` comes from the selected controller: 0x04 from the one on the line,
    // 0x84 from a node on the net.
    static bool FromSelected(uint8_t channel, uint8_t netBit);
    // The record of a Status reply from the selected controller; nothing for any other packet.
    std::optional<StatusRecord> Take(const uint8_t* payload, uint8_t length, uint8_t channel) const;

private:
    TComLink& port_;
};
