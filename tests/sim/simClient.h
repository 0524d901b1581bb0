// The program's end of a simulator's port at the packet level (raw termios, a collector to decode),
// for tests that look at the exact replies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/zuq.h"

struct TSimReply {
    uint8_t channel = 0;
    std::vector<uint8_t> payload;
};

class TSimClient {
public:
    explicit TSimClient(const std::string& port);
    ~TSimClient();
    TSimClient(const TSimClient&) = delete;
    TSimClient& operator=(const TSimClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    bool Send(uint8_t channel, const std::vector<uint8_t>& payload);
    bool WriteRaw(const std::vector<uint8_t>& bytes);
    // Collects packets until count have arrived or the time is up.
    std::vector<TSimReply> Read(size_t count, int timeoutMs);
    // Sends and waits for the first reply whose command is code (other packets are dropped).
    bool Ask(uint8_t channel, const std::vector<uint8_t>& payload, uint8_t code, TSimReply& reply,
             int timeoutMs = 5000);
    // True when the port reports a hang-up (the simulator is gone) within the time.
    bool WaitHangup(int timeoutMs);

private:
    int fd_ = -1;
    zuq::TCollectorZUQ collector_;
    zuq::TPacket slot_;
};
