// The line faults and pacing that vek-sim's options ask for, seen from the program's end of the port.
#include <gtest/gtest.h>

#include <chrono>

#include "simClient.h"
#include "support/simProcess.h"

namespace {
using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Pings count times, waiting up to waitMs for each echo; returns how many came back.
int Echoes(TSimClient& client, int count, int waitMs) {
    int echoes = 0;
    for (int i = 0; i < count; ++i) {
        TSimReply reply;
        echoes += client.Ask(0x01, {0x01}, 0x02, reply, waitMs);
    }
    return echoes;
}
}  // namespace

TEST(SimLine, DropAndCorruptLoseTheirShareOfPackets) {
    struct TCase {
        std::string option;
        std::string value;
        int pings;
        int minEchoes;
        int maxEchoes;
        const char* traced;
    };
    const TCase cases[] = {{"--drop", "1", 4, 0, 0, "(dropped)"},
                           {"--corrupt", "1", 4, 0, 0, "(corrupted)"},
                           {"--drop", "0.5", 16, 2, 14, "(dropped)"},
                           {"--drop", "0", 16, 16, 16, nullptr}};
    for (const TCase& c : cases) {
        TSimProcess sim({c.option, c.value, "--trace"}, true);
        ASSERT_TRUE(sim.Started()) << sim.Error();
        TSimClient client(sim.PortName());
        ASSERT_TRUE(client.IsOpen());
        const int n = Echoes(client, c.pings, c.maxEchoes == c.pings ? 5000 : 200);
        EXPECT_GE(n, c.minEchoes) << c.option << " " << c.value;
        EXPECT_LE(n, c.maxEchoes) << c.option << " " << c.value;
        if (c.traced != nullptr) {
            EXPECT_TRUE(sim.WaitForStderr(c.traced, 5000)) << c.option;
        }
    }
}

TEST(SimLine, ReplyDelayHoldsEveryAnswerBack) {
    TSimProcess sim({"--reply-delay", "300"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TSimClient client(sim.PortName());
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        TSimReply reply;
        ASSERT_TRUE(client.Ask(0x01, {0x01}, 0x02, reply, 10000));
        EXPECT_GE(MsSince(start), 300);
    }
}

TEST(SimLine, SilentAfterAnswersOnlyTheFirstPackets) {
    TSimProcess sim({"--silent-after", "3", "--trace"}, true);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TSimClient client(sim.PortName());
    EXPECT_EQ(Echoes(client, 3, 5000), 3);
    EXPECT_EQ(Echoes(client, 2, 300), 0);
    EXPECT_TRUE(sim.WaitForStderr("in  Ping ch=01 len=1 01 to=line (silent)", 5000));
}

TEST(SimLine, BaudPacesTheLine) {
    // A ConfigGet (10 bytes) and its answer (60 bytes) take 70 byte times: 72.9 ms at 9600 baud.
    TSimProcess sim({"--baud", "9600"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TSimClient client(sim.PortName());
    const auto start = Clock::now();
    for (uint8_t n = 0; n < 5; ++n) {
        TSimReply reply;
        ASSERT_TRUE(client.Ask(0x01, {0x19, n}, 0x1A, reply, 10000));
        EXPECT_EQ(reply.payload[7], n);
    }
    EXPECT_GE(MsSince(start), 5 * 70 * 10 * 1000 / 9600);
}

TEST(SimLine, RawWakeUpBytesAndReopeningDoNotDisturbTheController) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    {
        TSimClient client(sim.PortName());
        std::vector<uint8_t> wake;
        for (int i = 0; i < 4; ++i) wake.insert(wake.end(), {'B', 'O', 'O', 'T', 'Q', 'O', 'X'});
        ASSERT_TRUE(client.WriteRaw(wake));
        TSimReply reply;
        ASSERT_TRUE(client.Ask(0x01, {0x77}, 0x77, reply));
        EXPECT_EQ(reply.channel, 0x04);
        EXPECT_TRUE(client.Read(1, 300).empty()) << "the application has no answer to the wake-up bytes";
    }
    for (int round = 0; round < 2; ++round) {
        TSimClient client(sim.PortName());
        ASSERT_TRUE(client.IsOpen());
        TSimReply reply;
        ASSERT_TRUE(client.Ask(0x01, {0x01}, 0x02, reply)) << round;
    }
}

TEST(SimLine, GarbageOnTheLineNeitherStopsItNorTouchesItsRecords) {
    TSimProcess sim({"--nodes", "1"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TSimClient client(sim.PortName());
    std::vector<uint8_t> garbage;
    uint32_t x = 7;
    for (int i = 0; i < 200'000; ++i) garbage.push_back(uint8_t((x = x * 1664525u + 1013904223u) >> 24));
    // Framed nonsense as well: a wrong sum, a length of 0, unknown commands, short payloads.
    const std::vector<uint8_t> framed[] = {{0x5A, 0x55, 0x51, 0x53, 0x01, 0x02, 0x00, 0x00, 0x18, 0x00},
                                           {0x5A, 0x55, 0x51, 0x53, 0x01, 0x00}};
    for (const auto& f : framed) garbage.insert(garbage.end(), f.begin(), f.end());
    ASSERT_TRUE(client.WriteRaw(garbage));
    for (const std::vector<uint8_t>& p : std::vector<std::vector<uint8_t>>{{0xEE},
                                                                           {0x18},
                                                                           {0x17, 'Q', 'E', 'Z', 'O'},
                                                                           {0x19},
                                                                           {0x46},
                                                                           {0x92, 1},
                                                                           {0x5B},
                                                                           {0x05},
                                                                           {0x07, 0}}) {
        ASSERT_TRUE(client.Send(0x01, p));
        ASSERT_TRUE(client.Send(0x81, p));
        ASSERT_TRUE(client.Send(0xBB, p));
    }
    TSimReply reply;
    ASSERT_TRUE(client.Ask(0x01, {0x01}, 0x02, reply, 20000));
    for (uint8_t n = 0; n < 17; ++n) {
        ASSERT_TRUE(client.Ask(0x01, {0x19, n}, 0x1A, reply));
        ASSERT_EQ(reply.payload.size(), 52u);
        EXPECT_EQ(std::string(reply.payload.begin() + 1, reply.payload.begin() + 5), "QEZO");
        EXPECT_EQ(reply.payload[7], n);
        EXPECT_EQ(reply.payload[1 + 20] | (reply.payload[1 + 21] << 8), 300) << int(n);  // Max_Current
    }
}
