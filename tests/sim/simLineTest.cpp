// vek-sim as a process: its port and its link in the port folder, and the line faults its options
// ask for, seen from the program's end of the port.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>

#include "link/simPortFolder.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {
std::string LinkTarget(const std::string& name) {
    std::error_code none;  // no link: an empty path
    return std::filesystem::read_symlink(SimPortFolder() + "/" + name, none).string();
}
// The trace lines that contain text.
std::vector<std::string> Traced(const TSimProcess& sim, const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream trace(sim.Stderr());
    for (std::string line; std::getline(trace, line);)
        if (line.find(text) != std::string::npos) lines.push_back(line);
    return lines;
}
}  // namespace

TEST(SimProcess, PublishesItsPortServesEachOpenerAndLeavesNoLinkBehind) {
    TSimProcess first;
    std::optional<TSimProcess> second;
    std::vector<uint8_t> garbage(200'000);  // a burst of noise first; then it must still answer
    for (uint32_t x = 7; auto& b : garbage) b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    for (int round = 0; round < 2; ++round) {  // opened, closed and, while another one starts, opened again
        if (round == 1) second.emplace();
        ASSERT_TRUE(first.Started() && (!second || second->Started())) << first.Error();
        TPtyPeer peer(first.PortName());
        ASSERT_TRUE(peer.WriteBytes(round == 0 ? garbage : std::vector<uint8_t>{}) &&
                    peer.Send(0x01, {0x01}));
        const auto got = peer.ReadPackets(1, 20000);
        ASSERT_EQ(got.size(), 1u) << round;
        EXPECT_TRUE(got[0].channel == 0x04 && got[0].payload == std::vector<uint8_t>{0x02});
    }
    EXPECT_EQ(LinkTarget("sim0"), first.PortName());
    EXPECT_EQ(LinkTarget("sim1"), second->PortName());
    first.Stop();
    EXPECT_EQ(LinkTarget("sim0"), "");

    int status = -1;
    TSimProcess unplugged({"--unplug-after", "0.3"});
    ASSERT_TRUE(unplugged.Started()) << unplugged.Error();
    ASSERT_TRUE(unplugged.WaitExited(10000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(LinkTarget("sim0"), "");

    TSimProcess refused({"--mode", "17"}, true);
    EXPECT_FALSE(refused.Started());
    ASSERT_TRUE(refused.WaitExited(5000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
    EXPECT_TRUE(refused.WaitForStderr("vek-sim: bad value for --mode", 5000));
}

TEST(SimLine, DropsOrDamagesItsShareOfPacketsAsTracedAndFallsSilent) {
    TSimProcess sim({"--drop", "0.5", "--corrupt", "0.5", "--silent-after", "16", "--trace"}, true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TPtyPeer peer(sim.PortName());
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(peer.Send(0x01, {0x01}));
    ASSERT_TRUE(ProcessEventsUntil([&] { return Traced(sim, " out Echo ").size() == 16; }, 10000));
    std::vector<bool> damaged;  // of the answers not dropped
    for (const std::string& line : Traced(sim, " out Echo "))
        if (line.find("(dropped)") == std::string::npos)
            damaged.push_back(line.find("(corrupted)") != std::string::npos);
    const auto count = std::count(damaged.begin(), damaged.end(), true);
    EXPECT_TRUE(damaged.size() >= 2 && damaged.size() <= 14 && count >= 1 && count < long(damaged.size()));
    // The others arrive as sent, each damaged one with one bit flipped after the magic.
    const std::vector<uint8_t> echo = TPtyPeer::Wire(0x04, {0x02});
    const size_t size = echo.size();
    const std::vector<uint8_t> got = peer.ReadBytes(damaged.size() * size, 10000);
    std::vector<int> flips(damaged.size());  // per answer; a flip in the magic counts as many
    for (size_t i = 0; i < got.size(); ++i)
        flips[i / size] += std::popcount(uint8_t(got[i] ^ echo[i % size])) * (i % size < 3 ? 9 : 1);
    EXPECT_EQ(got.size(), damaged.size() * size);
    EXPECT_EQ(flips, std::vector<int>(damaged.begin(), damaged.end()));
    // After 16 packets it answers nothing; the trace tells who they would have reached.
    for (int i = 0; i < 2; ++i) ASSERT_TRUE(peer.Send(0x01, {0x01}));
    const std::string silent = " in  Ping ch=01 len=1 01 to=line (silent)";
    ASSERT_TRUE(ProcessEventsUntil([&] { return Traced(sim, silent).size() == 2; }, 10000));
    EXPECT_EQ(Traced(sim, " out Echo ").size(), 16u) << sim.Stderr();
}

TEST(SimLine, BaudPacesBothDirectionsAndEveryAnswerLeavesLater) {
    // Each request carries 100 bytes of padding: 110 bytes in, 60 out, 10 / 4800 s a byte, 300 ms held.
    TSimProcess sim({"--baud", "4800", "--reply-delay", "300"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TPtyPeer peer(sim.PortName());
    const auto start = std::chrono::steady_clock::now();
    for (uint8_t n = 0; n < 2; ++n) {
        std::vector<uint8_t> request(102, n);  // ConfigGet n, padded
        request[0] = 0x19;
        ASSERT_TRUE(peer.Send(0x01, request));
    }
    const auto got = peer.ReadPackets(2, 10000);
    // The second answer: both requests in, then held, then out after the first answer.
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds((2 * 110 * 10 * 1000 + 60 * 10 * 1000) / 4800 + 300));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].payload[7] == 0 && got[1].payload[7] == 1) << "in order";
}
