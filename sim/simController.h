// The simulated controller on the serial line together with the controllers on its CAN net: takes the
// bytes the program sends, answers each command and streams telemetry. Pure logic driven by a clock
// value, with no I/O of its own, so tests and the fuzz target can drive it directly.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/zuq.h"
#include "sim/simBootloader.h"
#include "sim/simMotor.h"
#include "sim/simRecord.h"

namespace sim {

// Reply channels: the controller on the line answers on 0x04, a node reached over the net on 0x84,
// every bootloader on 0xBB.
constexpr uint8_t ReplyLine = 0x04;
constexpr uint8_t ReplyNet = 0x84;
constexpr uint8_t ReplyBoot = 0xBB;
constexpr int MaxStatusRate = 250;  // status packets per second
constexpr int MaxNodes = 32;        // link numbers 0..31 on the net

struct TSimSettings {
    std::vector<int> Nodes;  // link numbers of further controllers on the net
    uint8_t Mode = 0;        // the record in use
    std::string Firmware = "VekSim 1.0";
    uint32_t Serial = 0x5E000001;  // the line controller's; node n has Serial + 0x100 + n
    TBootSettings Boot;
};

// One controller: identity, records, the record in use, motor and bootloader.
class TSimNode {
public:
    TSimNode(int link, const TSimSettings& settings);

    int Link() const { return link_; }  // -1 for the controller on the line
    std::string Firmware;
    uint32_t Serial = 0;
    uint8_t Mode = 0;
    std::array<TConfigBytes, RecordCount> Flash{};
    std::array<TConfigBytes, RecordCount> Ram{};
    TSimMotor Motor;
    TSimBootloader Boot;
    std::string NewFirmware;  // text of an image taken by the bootloader, in use after the next reset
    int StatusRate = 0;       // per second, 0 = no stream
    int64_t NextStatusUs = INT64_MAX;

    TStatusRecord Status(int64_t nowUs);

private:
    int link_;
};

class TSimController {
public:
    using TSend = std::function<void(uint8_t channel, const std::vector<uint8_t>& payload)>;
    // Called for every packet that arrives with a correct sum, before it is handled; return false
    // to leave the packet unanswered.
    using TPacketIn = std::function<bool(uint8_t channel, const uint8_t* payload, uint8_t length)>;
    using TNote = std::function<void(const std::string& text)>;

    TSimController(const TSimSettings& settings, TSend send);

    // Bytes from the program, in the order they arrived on the line.
    void Feed(const uint8_t* data, size_t count, int64_t nowUs);
    // One packet as collected from the line.
    void HandlePacket(uint8_t channel, const uint8_t* payload, uint8_t length, int64_t nowUs);
    // Runs everything that is due: bootloader start, status streams.
    void Tick(int64_t nowUs);
    int64_t NextDueUs() const;

    TPacketIn OnPacketIn;
    TNote OnNote;  // one line about something worth a trace (an image completed, a refused record)
    // Called with the image and whether it was written without a flash error.
    std::function<void(const std::vector<uint8_t>& image, bool clean)> OnImageComplete;

    TSimNode& Line() { return *nodes_[0]; }
    // Who a packet on `channel` reaches now: "line", "node<n>" or "nobody" (for traces).
    std::string TargetName(uint8_t channel);
    // The node with the given link number, nullptr when there is none on the net.
    TSimNode* NetNode(int link);
    int ActiveLink() const { return activeLink_; }
    uint32_t LinkMask() const;

    // The firmware text a node reports after taking an image: a short checksum of the image.
    static std::string FirmwareText(const std::vector<uint8_t>& image);

private:
    void HandleApp(TSimNode& node, uint8_t replyChannel, const uint8_t* payload, uint8_t length,
                   int64_t nowUs);
    void SendStatus(TSimNode& node, uint8_t replyChannel, int64_t nowUs);
    TSimNode* BootTarget();
    void Note(const std::string& text) {
        if (OnNote) OnNote(text);
    }

    TSimSettings settings_;
    TSend send_;
    std::vector<std::unique_ptr<TSimNode>> nodes_;  // [0] is the controller on the line
    int activeLink_ = 255;
    zuq::TCollectorZUQ collector_;
    zuq::TPacket slot_;
    size_t wakeMatch_ = 0;  // bytes of "BOOTQOX" matched so far
};

}  // namespace sim
