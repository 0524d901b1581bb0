#include <gtest/gtest.h>

#include <QThread>
#include <thread>

#include "link/treadRW.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
struct TReceived {
    std::vector<TPeerPacket> packets;
    std::vector<bool> onGuiThread;
};

void Listen(TComRW& com, TReceived& got) {
    com.OnPacket = [&got](const uint8_t* payload, uint8_t length, uint8_t channel) {
        got.packets.push_back({channel, std::vector<uint8_t>(payload, payload + length)});
        got.onGuiThread.push_back(QThread::currentThread() == qApp->thread());
    };
}
}  // namespace

TEST(ComRW, SendsPingByteExact) {
    TPtyPeer peer;
    TComRW com;
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active()) << com.LastError();
    ASSERT_TRUE(com.SendCommand(0x01, 0x01));
    const std::vector<uint8_t> expected = {0x5A, 0x55, 0x51, 0x53, 0x01, 0x01, 0x56, 0x01, 0x01};
    EXPECT_EQ(peer.ReadBytes(expected.size(), 3000), expected);
}

TEST(ComRW, DeliversPacketsWholeInOrderOnGuiThread) {
    TPtyPeer peer;
    TComRW com;
    TReceived got;
    Listen(com, got);
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    // Two packets in one write, with noise in front.
    zuq::TPacket a, b;
    const uint8_t pa[] = {0x02};
    const uint8_t pb[] = {0x1A, 1, 2, 3};
    zuq::BuildPacket(a, 0x04, pa, sizeof pa);
    zuq::BuildPacket(b, 0x84, pb, sizeof pb);
    std::vector<uint8_t> bytes = {0x00, 'Z', 'Z'};
    bytes.insert(bytes.end(), a.Bytes, a.Bytes + zuq::PacketSize(a));
    bytes.insert(bytes.end(), b.Bytes, b.Bytes + zuq::PacketSize(b));
    ASSERT_TRUE(peer.WriteBytes(bytes));
    ASSERT_TRUE(ProcessEventsUntil([&] { return got.packets.size() == 2; }));
    EXPECT_EQ(got.packets[0].channel, 0x04);
    EXPECT_EQ(got.packets[0].payload, std::vector<uint8_t>(pa, pa + 1));
    EXPECT_EQ(got.packets[1].channel, 0x84);
    EXPECT_EQ(got.packets[1].payload, std::vector<uint8_t>(pb, pb + 4));
    EXPECT_EQ(got.onGuiThread, std::vector<bool>({true, true}));
}

TEST(ComRW, MissingPortStaysClosedAndSendsNothing) {
    TComRW com;
    com.PortName = "/dev/does-not-exist-vek";
    com.SetActive(true);
    EXPECT_FALSE(com.Active());
    EXPECT_FALSE(com.LastError().empty());
    EXPECT_FALSE(com.SendCommand(0x01, 0x01));
}

TEST(ComRW, FarEndVanishingIsReportedOnceAndPortReopens) {
    auto peer = std::make_unique<TPtyPeer>();
    TComRW com;
    int lost = 0;
    com.OnDeviceLost = [&] { ++lost; };
    com.PortName = peer->SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    peer->Close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return lost > 0; }));
    ProcessEventsFor(100);
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(com.Active());
    EXPECT_FALSE(com.SendCommand(0x01, 0x01));

    TPtyPeer again;
    com.PortName = again.SlaveName();
    com.SetActive(true);
    EXPECT_TRUE(com.Active());
}

TEST(ComRW, ClosingFromInsideAHandOverDoesNotHang) {
    TPtyPeer peer;
    TComRW com;
    int seen = 0;
    com.OnPacket = [&](const uint8_t*, uint8_t, uint8_t) {
        ++seen;
        com.SetActive(false);
    };
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(peer.Send(0x04, {0x02}));
    ASSERT_TRUE(peer.Send(0x04, {0x02}));
    ASSERT_TRUE(ProcessEventsUntil([&] { return seen > 0 && !com.Active(); }));
    ProcessEventsFor(50);
    EXPECT_EQ(seen, 1);
}

TEST(ComRW, RingRefusesTheSixtyFourthWaitingPacket) {
    TPtyPeer peer;
    TComRW com;
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    // Fill the line so that the writer blocks, then queue far more than the ring holds.
    int accepted = 0;
    std::vector<uint8_t> big(240, 0xAA);
    for (int i = 0; i < 2000; ++i)
        if (com.QueuePacket(0, big.data(), big.size(), 0x01)) ++accepted;
    EXPECT_LT(accepted, 2000);
    // Everything accepted arrives whole, nothing refused is sent.
    auto packets = peer.ReadPackets(size_t(accepted), 20000);
    EXPECT_EQ(int(packets.size()), accepted);
    for (const auto& p : packets) EXPECT_EQ(p.payload, big);
}
