// The far end of a pseudo-terminal, speaking the packet protocol: stands in for a controller in tests
// that look at the exact bytes the program puts on the line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/zuq.h"

struct TPeerPacket {
    uint8_t channel = 0;
    std::vector<uint8_t> payload;
};

class TPtyPeer {
public:
    TPtyPeer();  // opens a pseudo-terminal in raw mode
    // Opens an existing terminal in raw mode instead, e.g. the port of a running vek-sim.
    explicit TPtyPeer(const std::string& terminal);
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer&) = delete;
    TPtyPeer& operator=(const TPtyPeer&) = delete;

    // Path of the terminal end that the program opens.
    const std::string& SlaveName() const { return slaveName_; }

    bool WriteBytes(const std::vector<uint8_t>& bytes);
    // Builds a packet with letter "S" and writes it.
    bool Send(uint8_t channel, const std::vector<uint8_t>& payload);
    // A packet's bytes on the wire, as the codec builds them.
    static std::vector<uint8_t> Wire(uint8_t channel, const std::vector<uint8_t>& payload,
                                     uint8_t address = 0);

    // Reads raw bytes until `count` have arrived or the time is up.
    std::vector<uint8_t> ReadBytes(size_t count, int timeoutMs);
    // Collects packets until `count` have arrived or the time is up.
    std::vector<TPeerPacket> ReadPackets(size_t count, int timeoutMs);

    // Closes the controller's end: the program sees the device go away.
    void Close();
    int Fd() const { return master_; }

private:
    int master_ = -1;
    std::string slaveName_;
    zuq::TCollectorZUQ collector_;
    zuq::TPacket slot_;
};
