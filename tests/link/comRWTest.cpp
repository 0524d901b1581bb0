// The port object on a pseudo-terminal: bytes on the line, its threads, opening and closing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <fstream>
#include <memory>
#include <thread>

#include "link/treadRW.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
using Bytes = std::vector<uint8_t>;

bool OpenOn(TComRW& com, const TPtyPeer& peer, std::vector<TPeerPacket>* got = nullptr) {
    if (got)
        com.OnPacket = [got](const uint8_t* payload, uint8_t length, uint8_t channel) {
            got->push_back({channel, Bytes(payload, payload + length)});
        };
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    return com.Active();
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Fills the line and the ring while the far end reads nothing; returns the packets accepted.
int FillUntilRefused(TComRW& com, Bytes payload) {
    int accepted = 0;
    for (int refusedInARow = 0; refusedInARow < 5;) {
        payload[1] = uint8_t(accepted);
        payload[2] = uint8_t(accepted >> 8);
        if (com.QueuePacket(0, payload.data(), payload.size(), 0x01)) {
            refusedInARow = 0, ++accepted;
        } else {
            ++refusedInARow;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    return accepted;
}

}  // namespace

TEST(ComRW, SendOperationsAndRawWritesPutExactBytesOnTheLine) {
    TPtyPeer peer;
    TComRW com;
    int clears = 0, sets = 0;
    com.OnControlLines = [&](bool dtr, bool rts) { (dtr && rts ? clears : sets)++; };
    const uint8_t wake[] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
    EXPECT_FALSE(com.SendCommand(0x01, 0x01) || com.WriteRaw(wake, sizeof wake)) << "closed";
    com.SetControlLines(false, false);
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    EXPECT_EQ(std::make_pair(clears, sets), std::make_pair(1, 0))
        << "opening clears DTR and RTS, nothing else";

    Bytes long241(241, 0xFF);
    ASSERT_TRUE(com.SendCommandByte(0x81, 0x19, 3) && com.QueuePacket(2, long241.data(), 241, 0x01));
    const Bytes expected = Bytes{'Z', 'U', 'Q', 'S', 0x81, 0x02, 0xF2, 0x01, 0x19, 0x03} +
                           TPtyPeer::Wire(0x01, Bytes(240, 0xFF), 2);
    EXPECT_EQ(peer.ReadBytes(expected.size(), 3000), expected);
    // Raw bytes go out unframed; the ping after them shows that nothing else came in between.
    EXPECT_TRUE(com.WriteRaw(wake, sizeof wake));
    ASSERT_TRUE(com.SendCommand(0x01, 0x01));
    const Bytes raw =
        Bytes(wake, wake + sizeof wake) + Bytes{0x5A, 0x55, 0x51, 0x53, 0x01, 0x01, 0x56, 0x01, 0x01};
    EXPECT_EQ(peer.ReadBytes(raw.size(), 3000), raw);
}

TEST(ComRW, OpensOnceExclusivelyReleasesOnCloseAndReportsALostDeviceOnce) {
    TComRW com;
    auto peer = std::make_unique<TPtyPeer>();
    std::vector<TPeerPacket> got;
    std::string self;
    std::getline(std::ifstream("/proc/self/comm"), self);
    const std::string holder = "held by " + self + " (pid " + std::to_string(::getpid()) + ")";
    ASSERT_TRUE(OpenOn(com, *peer, &got)) << com.LastError();
    com.SetActive(true);
    ASSERT_TRUE(com.Active()) << "opening an open port changes nothing";
    std::string error;
    EXPECT_FALSE(TSerialDevice().Open(peer->SlaveName(), error));
    EXPECT_NE(error.find(holder), std::string::npos) << error;
    // The kernel refuses every further open; only root may still open the device.
    const int other = ::open(peer->SlaveName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = 0;
    EXPECT_TRUE(other >= 0 ? ::ioctl(other, TIOCGEXCL, &exclusive) == 0 && exclusive : errno == EBUSY);
    ::close(other);
    ASSERT_TRUE(com.SendCommand(0x01, 0x01) && peer->Send(0x04, {0x02, 0x00}));
    EXPECT_EQ(peer->ReadPackets(1, 3000).size(), 1u);
    ASSERT_TRUE(ProcessEventsUntil([&] { return got.size() == 1u; }));
    com.SetActive(false);
    com.SetActive(false);
    EXPECT_FALSE(com.Active() || com.SendCommand(0x01, 0x01));
    EXPECT_TRUE(TSerialDevice().Open(peer->SlaveName(), error)) << "closing released the port";
    int lost = 0, clears = 0;
    com.OnDeviceLost = [&] { ++lost; };
    com.OnControlLines = [&](bool dtr, bool rts) { clears += dtr && rts; };
    ASSERT_TRUE(OpenOn(com, *peer));
    peer->Close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return lost > 0; }));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(com.Active() || com.SendCommand(0x01, 0x01));
    TPtyPeer again;
    EXPECT_TRUE(OpenOn(com, again));
    EXPECT_EQ(clears, 2) << "DTR and RTS cleared again after the reopen";
}

TEST(ComRW, DeliversPacketsAndRawDataInTheReadersOrderOnTheGuiThread) {
    TPtyPeer peer;
    TComRW com;
    std::vector<TPeerPacket> packets;
    Bytes raw;
    bool offGui = false;
    com.OnRawData = [&](const uint8_t* buffer, uint8_t count) {
        offGui |= QThread::currentThread() != qApp->thread();
        raw.insert(raw.end(), buffer, buffer + count);
    };
    ASSERT_TRUE(OpenOn(com, peer, &packets));
    // Packets of every size with noise between some; the reader takes 255 bytes a read, so reads split them.
    Bytes stream;
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        Bytes payload(size_t(3 + i % 38), 0xEE);
        payload[1] = uint8_t(i);
        payload[2] = uint8_t(i >> 8);
        stream = stream + TPtyPeer::Wire(uint8_t(i % 2 ? 0x04 : 0x84), payload) +
                 (i % 3 ? Bytes{} : Bytes{0x00, 'Z'});
    }
    ASSERT_TRUE(peer.WriteBytes(stream));
    ASSERT_TRUE(ProcessEventsUntil([&] { return packets.size() == size_t(count) && raw == stream; }, 20000))
        << packets.size() << " packets, " << raw.size() << " of " << stream.size() << " bytes";
    EXPECT_FALSE(offGui);
    for (int i = 0; i < count; ++i) {
        const TPeerPacket& p = packets[size_t(i)];
        ASSERT_EQ(p.payload.size(), size_t(3 + i % 38)) << i;
        EXPECT_EQ(std::make_tuple(p.channel, p.payload[1] | (p.payload[2] << 8)),
                  std::make_tuple(i % 2 ? 0x04 : 0x84, i));
    }
}

TEST(ComRW, ClosingOrDestroyingWhileTheReaderWaitsInAHandOverOrFromInsideOne) {
    TPtyPeer peer;
    // The program's end of the pty, opened before the program holds it exclusively. The reader reads
    // again only after its hand-overs have returned, so once it has taken a packet while the GUI
    // thread serves no events, it waits in a hand-over.
    const int probe = ::open(peer.SlaveName().c_str(), O_RDONLY | O_NOCTTY);
    const auto unreadAtMost = [&](int left) {
        int waiting = 1;
        for (int ms = 0; ms < 10000 && ::ioctl(probe, FIONREAD, &waiting) == 0 && waiting > left; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return waiting <= left;
    };
    int lost = 0, seen = 0;
    std::vector<TPeerPacket> got;
    std::string error;
    for (int round = 0; round < 6; ++round) {
        auto com = std::make_unique<TComRW>();
        com->OnDeviceLost = [&] { ++lost; };
        ASSERT_TRUE(OpenOn(*com, peer, &got));
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(com->SendCommand(0x01, 0x01));
        const Bytes echo = TPtyPeer::Wire(0x04, {0x02});
        ASSERT_TRUE(peer.WriteBytes(echo + echo));
        if (round % 3 == 2) {  // a handler closes the port: the second packet never comes
            com->OnPacket = [&](const uint8_t*, uint8_t, uint8_t) { ++seen, com->SetActive(false); };
            ASSERT_TRUE(ProcessEventsUntil([&] { return !com->Active(); }));
        } else {
            // The GUI thread serves no events, so the reader is stuck handing over the first packet.
            ASSERT_TRUE(unreadAtMost(int(echo.size()))) << "round " << round;
            round % 3 ? com.reset() : com->SetActive(false);
        }
        EXPECT_TRUE(TSerialDevice().Open(peer.SlaveName(), error));
        ::tcflush(probe, TCIFLUSH);
        QCoreApplication::sendPostedEvents();  // what was posted must not run, nor reach a destroyed object
        EXPECT_TRUE(got.empty()) << "an abandoned hand-over ran after closing";
        EXPECT_EQ(seen, round / 3 + (round % 3 == 2));
    }
    EXPECT_EQ(lost, 0);
    ::close(probe);
}

TEST(ComRW, RingRefusalLosesNothingAndCloseDiscardsPendingOutputWithoutWaiting) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer));
    // The far end reads nothing: the pty fills up (20 KiB, more than a USB adapter's driver holds),
    // then the ring, which then refuses without losing what it took.
    Bytes payload(240, 0x5A);
    int accepted = FillUntilRefused(com, payload);
    ASSERT_GE(accepted, 63 + 8192 / 248);
    const auto packets = peer.ReadPackets(size_t(accepted), 30000);
    ASSERT_EQ(int(packets.size()), accepted);
    for (int i = 0; i < accepted; ++i)
        ASSERT_EQ(packets[size_t(i)].payload[1] | (packets[size_t(i)].payload[2] << 8), i)
            << "lost or reordered";

    accepted = FillUntilRefused(com, payload);
    RecordProperty("pending_bytes", accepted * 248);
    QElapsedTimer timer;
    timer.start();
    com.SetActive(false);
    RecordProperty("close_ms", int(timer.elapsed()));
    EXPECT_LT(timer.elapsed(), 500);
    // Reopened, a ping goes out: what arrives before it survived the close. A pty keeps what its far
    // end's line discipline already took (4 KiB); the rest is gone.
    ASSERT_TRUE(OpenOn(com, peer) && com.SendCommand(0x01, 0x01));
    const Bytes ping = TPtyPeer::Wire(0x01, {0x01});
    Bytes got;
    for (int i = 0;
         i < 500 && (got.size() < ping.size() || !std::equal(ping.rbegin(), ping.rend(), got.rbegin())); ++i)
        got = got + peer.ReadBytes(1 << 20, 20);
    EXPECT_LT(got.size(), 8u * 1024);
}

TEST(ComRW, DiscardTakesBackWaitingPacketsOfOneCommandAndWhatTheDriverHolds) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer));
    // Throttle packets pile up in the driver, then in the ring behind the blocked writer; a
    // configuration request waits among them.
    const int first = FillUntilRefused(com, {zuq::Cmd::Throttle, 0, 0});
    ASSERT_GT(first, 100) << "the driver and the ring both hold throttle packets";
    ASSERT_TRUE(ProcessEventsUntil([&] { return com.SendCommandByte(0x01, zuq::Cmd::ConfigGet, 5); }));
    FillUntilRefused(com, {zuq::Cmd::Throttle, 0, 0});
    com.DiscardQueued(zuq::Cmd::Throttle);
    const Bytes later = {zuq::Cmd::Throttle, 0x7D, 0xFF};
    ASSERT_TRUE(ProcessEventsUntil([&] { return com.QueuePacket(0, later.data(), later.size(), 0x01); }));
    // Some throttle packets were already with the far end's line discipline (a pty keeps those); none
    // of those that waited in the ring arrives; the request does, and what was queued after the discard.
    std::vector<Bytes> after;
    for (int i = 0; i < 100 && (after.empty() || after.back() != later); ++i)
        for (TPeerPacket& p : peer.ReadPackets(1, 100)) after.push_back(p.payload);
    EXPECT_TRUE(!after.empty() && after.back() == later);
    EXPECT_EQ(std::count(after.begin(), after.end(), Bytes{zuq::Cmd::ConfigGet, 5}), 1);
    EXPECT_LE(int(after.size()) - 2, first - 60);
}
