// vek-sim as a process: its port, its link in the port folder, and the first answers at packet level.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>

#include "link/simPortFolder.h"
#include "simClient.h"
#include "support/simProcess.h"

namespace {
std::string LinkTarget(const std::string& path) {
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string() : std::string(buf, size_t(n));
}
}  // namespace

TEST(SimProcess, PublishesItsPortAndAnswersPingDetectIdentify) {
    TSimProcess sim({"--serial", "0x12345678", "--firmware", "1.0"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    const std::string link = SimPortFolder() + "/sim0";
    EXPECT_EQ(LinkTarget(link), sim.PortName());

    TSimClient client(sim.PortName());
    ASSERT_TRUE(client.IsOpen());
    TSimReply reply;
    ASSERT_TRUE(client.Ask(0x01, {0x01}, 0x02, reply));
    EXPECT_EQ(reply.channel, 0x04);
    EXPECT_EQ(reply.payload, std::vector<uint8_t>{0x02});
    ASSERT_TRUE(client.Ask(0x01, {0xFD}, 0xFE, reply));
    EXPECT_EQ(reply.channel, 0x04);
    ASSERT_TRUE(client.Ask(0x01, {0x77}, 0x77, reply));
    ASSERT_EQ(reply.payload.size(), 25u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&reply.payload[1])), "1.0");
    EXPECT_EQ(std::vector<uint8_t>(reply.payload.begin() + 21, reply.payload.end()),
              (std::vector<uint8_t>{0x78, 0x56, 0x34, 0x12}));

    sim.Stop();
    EXPECT_EQ(LinkTarget(link), "") << "the link must go with the simulator";
}

TEST(SimProcess, SecondSimulatorTakesTheNextFreeLinkName) {
    TSimProcess first;
    TSimProcess second;
    ASSERT_TRUE(first.Started() && second.Started());
    EXPECT_NE(first.PortName(), second.PortName());
    EXPECT_EQ(LinkTarget(SimPortFolder() + "/sim0"), first.PortName());
    EXPECT_EQ(LinkTarget(SimPortFolder() + "/sim1"), second.PortName());
}

TEST(SimProcess, RefusesBadOptionsWithoutStarting) {
    for (auto args : std::vector<std::vector<std::string>>{
             {"--nodes", "0,32"}, {"--mode", "17"}, {"--drop", "1.5"}, {"--bogus"}, {"--baud"}}) {
        TSimProcess sim(args, true);
        EXPECT_FALSE(sim.Started()) << args[0];
        int status = 0;
        ASSERT_TRUE(sim.WaitExited(5000, &status));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0];
        EXPECT_TRUE(sim.WaitForStderr("vek-sim:", 5000)) << args[0];
    }
}

TEST(SimProcess, UnplugClosesThePortAndRemovesTheLink) {
    TSimProcess sim({"--unplug-after", "0.3"});
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TSimClient client(sim.PortName());
    ASSERT_TRUE(client.IsOpen());
    EXPECT_TRUE(client.WaitHangup(10000));
    int status = -1;
    ASSERT_TRUE(sim.WaitExited(10000, &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(LinkTarget(SimPortFolder() + "/sim0"), "");
}
