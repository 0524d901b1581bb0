#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <memory>
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
// Opens the port object on the peer's terminal.
bool OpenOn(TComRW& com, const TPtyPeer& peer) {
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    return com.Active();
}

}  // namespace

TEST(ComRW, SendsPingByteExact) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    ASSERT_TRUE(com.SendCommand(0x01, 0x01));
    const std::vector<uint8_t> expected = {0x5A, 0x55, 0x51, 0x53, 0x01, 0x01, 0x56, 0x01, 0x01};
    EXPECT_EQ(peer.ReadBytes(expected.size(), 3000), expected);
}

TEST(ComRW, DeliversPacketsWholeInOrderOnGuiThread) {
    TPtyPeer peer;
    TComRW com;
    TReceived got;
    Listen(com, got);
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
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

namespace {
// Waits until at most `left` bytes that the peer wrote wait unread at the program's end of the pty.
// The reader reads again only after its hand-overs have returned, so once it has taken a whole
// packet while the GUI thread serves no events, it is waiting in a hand-over.
bool ReaderTookAllBut(const std::string& slave, int left, int timeoutMs = 10000) {
    const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int waiting = 1;
    while (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > left &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::close(fd);
    return waiting <= left;
}

// Drops whatever waits unread at the program's end of the pty.
void FlushInput(const std::string& slave) {
    const int fd = ::open(slave.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::tcflush(fd, TCIFLUSH);
    ::close(fd);
}

// Whether another program could open the port now (the port object holds it exclusively while open).
bool PortIsFree(const std::string& path) {
    TSerialDevice probe;
    std::string error;
    return probe.Open(path, error);
}

std::vector<uint8_t> WireOf(uint8_t channel, const std::vector<uint8_t>& payload, uint8_t address = 0) {
    zuq::TPacket p;
    zuq::BuildPacket(p, channel, payload.data(), payload.size(), address);
    return std::vector<uint8_t>(p.Bytes, p.Bytes + zuq::PacketSize(p));
}
}  // namespace

TEST(ComRW, SendOperationsPutExactBytesOnTheLineInOrder) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    std::vector<uint8_t> bootInfo = {0x34, 0x12, 0x78, 0x56, 0x34, 0x12};
    std::vector<uint8_t> long241(241);
    for (size_t i = 0; i < long241.size(); ++i) long241[i] = uint8_t(0xFF - i);
    ASSERT_TRUE(com.SendCommandByte(0x81, 0x19, 3));
    ASSERT_TRUE(com.SendCommandData(0xBB, 0x05, bootInfo.data(), uint8_t(bootInfo.size())));
    ASSERT_TRUE(com.QueuePacket(2, long241.data(), long241.size(), 0x01));
    ASSERT_TRUE(com.SendCommandData(0x01, 0x5A, nullptr, 0));
    std::vector<uint8_t> expected = {'Z', 'U', 'Q', 'S', 0x81, 0x02, 0xF2, 0x01, 0x19, 0x03};
    std::vector<uint8_t> payload = {0x05};
    payload.insert(payload.end(), bootInfo.begin(), bootInfo.end());
    for (auto part :
         {WireOf(0xBB, payload), WireOf(0x01, std::vector<uint8_t>(long241.begin(), long241.end() - 1), 2),
          WireOf(0x01, {0x5A})})
        expected.insert(expected.end(), part.begin(), part.end());
    const auto got = peer.ReadBytes(expected.size(), 3000);
    EXPECT_EQ(got, expected);
    EXPECT_TRUE(peer.ReadBytes(1, 50).empty());
    EXPECT_EQ(got[10 + 15 + 3], 'B') << "address 2 sends the letter B";
}

TEST(ComRW, WriteRawBypassesThePacketLayer) {
    TPtyPeer peer;
    TComRW com;
    const uint8_t wake[] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
    EXPECT_FALSE(com.WriteRaw(wake, sizeof wake)) << "closed";
    com.SetControlLines(true, true);  // closed: nothing happens
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    com.SetControlLines(true, true);  // a pty refuses the control lines; that is not an error
    EXPECT_TRUE(com.Active());
    EXPECT_TRUE(com.WriteRaw(wake, sizeof wake));
    EXPECT_EQ(peer.ReadBytes(sizeof wake, 3000), std::vector<uint8_t>(wake, wake + sizeof wake));
    EXPECT_TRUE(peer.ReadBytes(1, 50).empty());
}

TEST(ComRW, OpeningTwiceOpensOnceAndClosingTwiceIsHarmless) {
    TPtyPeer peer;
    TComRW com;
    TReceived got;
    Listen(com, got);
    com.PortName = peer.SlaveName();
    for (int round = 0; round < 3; ++round) {
        com.SetActive(true);
        com.SetActive(true);
        ASSERT_TRUE(com.Active()) << com.LastError();
        EXPECT_FALSE(PortIsFree(peer.SlaveName())) << "the port is held while open";
        ASSERT_TRUE(com.SendCommand(0x01, 0x01));
        ASSERT_TRUE(peer.Send(0x04, {0x02, uint8_t(round)}));
        ASSERT_TRUE(ProcessEventsUntil([&] { return got.packets.size() == size_t(round + 1); }));
        // One reader only: the packet came once, and one writer: the ping went out once.
        ProcessEventsFor(30);
        EXPECT_EQ(got.packets.size(), size_t(round + 1));
        EXPECT_EQ(peer.ReadPackets(2, 100).size(), 1u);
        com.SetActive(false);
        com.SetActive(false);
        EXPECT_FALSE(com.Active());
        EXPECT_FALSE(com.SendCommand(0x01, 0x01));
        EXPECT_TRUE(PortIsFree(peer.SlaveName())) << "closing released the port";
    }
}

TEST(ComRW, PacketsSplitAcrossReadsArriveWhole) {
    TPtyPeer peer;
    TComRW com;
    TReceived got;
    Listen(com, got);
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    std::vector<uint8_t> big(240);
    for (size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7);
    std::vector<uint8_t> stream = {0x00, 'Z', 'U', 0x17};
    for (const auto& part : {WireOf(0x04, {0x44, 1, 2, 3}), WireOf(0x84, big, 4), WireOf(0xBB, {0x08, 5, 0})})
        stream.insert(stream.end(), part.begin(), part.end());
    // Odd-sized pieces, each read by the reader before the next is written.
    for (size_t pos = 0, piece = 1; pos < stream.size(); pos += piece, piece = piece % 5 + 1) {
        const size_t n = std::min(piece, stream.size() - pos);
        ASSERT_TRUE(peer.WriteBytes(
            std::vector<uint8_t>(stream.begin() + long(pos), stream.begin() + long(pos + n))));
        ASSERT_TRUE(ReaderTookAllBut(peer.SlaveName(), 0));
        ProcessEventsFor(1);
    }
    ASSERT_TRUE(ProcessEventsUntil([&] { return got.packets.size() == 3; }));
    EXPECT_EQ(got.packets[0].payload, std::vector<uint8_t>({0x44, 1, 2, 3}));
    EXPECT_EQ(got.packets[1].channel, 0x84);
    EXPECT_EQ(got.packets[1].payload, big);
    EXPECT_EQ(got.packets[2].channel, 0xBB);
    EXPECT_EQ(got.packets[2].payload, std::vector<uint8_t>({0x08, 5, 0}));
}

TEST(ComRW, RawDataAndPacketsAreHandedOverInTheReadersOrder) {
    TPtyPeer peer;
    TComRW com;
    struct TEvent {
        char kind;
        size_t rawTotal;
        std::vector<uint8_t> payload;
        uint8_t channel;
        bool onGui;
    };
    std::vector<TEvent> events;
    size_t rawTotal = 0;
    std::vector<uint8_t> rawBytes;
    bool inEvent = false, overlapped = false;
    com.OnRawData = [&](const uint8_t* buffer, uint8_t count) {
        overlapped |= inEvent;
        rawTotal += count;
        rawBytes.insert(rawBytes.end(), buffer, buffer + count);
        events.push_back({'R', rawTotal, {}, 0, QThread::currentThread() == qApp->thread()});
    };
    com.OnPacket = [&](const uint8_t* payload, uint8_t length, uint8_t channel) {
        inEvent = true;
        events.push_back({'P', rawTotal, std::vector<uint8_t>(payload, payload + length), channel,
                          QThread::currentThread() == qApp->thread()});
        QCoreApplication::processEvents();  // a handler that lets the loop run must not get a second event
                                            // inside
        inEvent = false;
    };
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    std::vector<uint8_t> stream;
    std::vector<size_t> ends;
    const int count = 300;
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> payload(size_t(3 + i % 38), 0xEE);
        payload[0] = 0x44;
        payload[1] = uint8_t(i);
        payload[2] = uint8_t(i >> 8);
        const auto wire = WireOf(uint8_t(i % 2 ? 0x04 : 0x84), payload);
        stream.insert(stream.end(), wire.begin(), wire.end());
        ends.push_back(stream.size());
        if (i % 3 == 0) stream.push_back(0x00);  // noise between some packets
    }
    for (size_t pos = 0; pos < stream.size(); pos += 1000)
        ASSERT_TRUE(peer.WriteBytes(std::vector<uint8_t>(
            stream.begin() + long(pos), stream.begin() + long(std::min(stream.size(), pos + 1000)))));
    size_t packets = 0;
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            packets = 0;
            for (const auto& e : events) packets += e.kind == 'P';
            return packets == size_t(count) && rawTotal == stream.size();
        },
        20000))
        << packets << " packets, " << rawTotal << " of " << stream.size() << " bytes";
    EXPECT_EQ(rawBytes, stream);
    EXPECT_FALSE(overlapped);
    int i = 0;
    for (const auto& e : events) {
        EXPECT_TRUE(e.onGui);
        if (e.kind != 'P') continue;
        ASSERT_EQ(e.payload.size(), size_t(3 + i % 38)) << i;
        EXPECT_EQ(e.channel, i % 2 ? 0x04 : 0x84) << i;
        EXPECT_EQ(e.payload[1] | (e.payload[2] << 8), i) << "lost or reordered";
        EXPECT_GE(e.rawTotal, ends[size_t(i)])
            << "packet " << i << " came before the raw bytes it was made of";
        ++i;
    }
}

TEST(ComRW, ClosingWhileTheReaderWaitsInAHandOver) {
    TPtyPeer peer;
    TComRW com;
    TReceived got;
    Listen(com, got);
    com.PortName = peer.SlaveName();
    for (int round = 0; round < 5; ++round) {
        com.SetActive(true);
        ASSERT_TRUE(com.Active());
        const auto echo = WireOf(0x04, {0x02});
        auto two = echo;
        two.insert(two.end(), echo.begin(), echo.end());
        ASSERT_TRUE(peer.WriteBytes(two));
        // The GUI thread serves no events, so the reader is stuck handing over a packet.
        ASSERT_TRUE(ReaderTookAllBut(peer.SlaveName(), int(echo.size()))) << "round " << round;
        com.SetActive(false);
        FlushInput(peer.SlaveName());
        EXPECT_FALSE(com.Active());
        ProcessEventsFor(30);
        EXPECT_TRUE(got.packets.empty()) << "an abandoned hand-over ran after closing";
    }
    // Reopened, the port starts clean: the next packet arrives whole.
    com.SetActive(true);
    ASSERT_TRUE(peer.Send(0x84, {0x1A, 7}));
    ASSERT_TRUE(ProcessEventsUntil([&] { return got.packets.size() == 1; }));
    EXPECT_EQ(got.packets[0].payload, std::vector<uint8_t>({0x1A, 7}));
}

TEST(ComRW, DestroyingAnOpenPortClosesIt) {
    TPtyPeer peer;
    int seen = 0, lost = 0;
    for (int round = 0; round < 5; ++round) {
        auto com = std::make_unique<TComRW>();
        com->OnPacket = [&](const uint8_t*, uint8_t, uint8_t) { ++seen; };
        com->OnDeviceLost = [&] { ++lost; };
        com->PortName = peer.SlaveName();
        com->SetActive(true);
        ASSERT_TRUE(com->Active());
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(com->SendCommand(0x01, 0x01));
        if (round % 2 == 0) {
            // Destroyed while the reader waits in a hand-over.
            ASSERT_TRUE(peer.Send(0x04, {0x02}));
            ASSERT_TRUE(ReaderTookAllBut(peer.SlaveName(), 0));
        }
        com.reset();
        EXPECT_TRUE(PortIsFree(peer.SlaveName()));
        ProcessEventsFor(20);  // whatever was posted must not reach the destroyed object
    }
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(lost, 0);
}

TEST(ComRW, RingRefusalLosesNothingAndClearsOnceTheLineDrains) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    // The peer reads nothing, so the line fills, the writer blocks and the ring fills behind it.
    std::vector<uint8_t> payload(240, 0x5A);
    int accepted = 0;
    for (; accepted < 5000; ++accepted) {
        payload[0] = uint8_t(accepted);
        payload[1] = uint8_t(accepted >> 8);
        if (!com.QueuePacket(0, payload.data(), payload.size(), 0x01)) break;
    }
    ASSERT_LT(accepted, 5000);
    EXPECT_GE(accepted, 63) << "63 packets always fit in the ring";
    for (int i = 0; i < 10; ++i) EXPECT_FALSE(com.SendCommand(0x01, 0x01)) << "the ring stays full";
    const auto packets = peer.ReadPackets(size_t(accepted), 30000);
    ASSERT_EQ(int(packets.size()), accepted);
    for (int i = 0; i < accepted; ++i) {
        ASSERT_EQ(packets[size_t(i)].payload.size(), 240u);
        ASSERT_EQ(packets[size_t(i)].payload[0] | (packets[size_t(i)].payload[1] << 8), i)
            << "lost or reordered";
    }
    EXPECT_TRUE(com.SendCommand(0x01, 0x01));
    EXPECT_EQ(peer.ReadPackets(1, 3000).size(), 1u);
}

TEST(ComRW, RawWritesNeverLandInsideAPacket) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    // The far end stops reading until the line is full and the writer is stuck in the middle of its
    // traffic; then it reads again while a raw write competes with the writer for the room.
    std::atomic<bool> stop{false}, reading{true};
    std::atomic<int> whole{0};
    std::vector<uint8_t> received;
    std::thread drain([&] {
        zuq::TCollectorZUQ collector;
        zuq::TPacket slot;
        while (!stop) {
            if (!reading) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            for (uint8_t b : peer.ReadBytes(64, 5)) {
                received.push_back(b);
                if (collector.Collect(slot, b)) ++whole;
            }
        }
    });
    const uint8_t wake[] = {'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
    std::vector<uint8_t> payload(239, 0x11);
    int packets = 0, raws = 0;
    for (int round = 0; round < 20; ++round) {
        reading = false;
        // Full line: the ring stays full, because the writer cannot get rid of its packet.
        for (int refusedInARow = 0; refusedInARow < 5;) {
            payload[0] = uint8_t(packets);
            if (com.QueuePacket(0, payload.data(), payload.size(), 0x01)) {
                ++packets;
                refusedInARow = 0;
            } else {
                ++refusedInARow;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        reading = true;
        if (com.WriteRaw(wake, sizeof wake)) ++raws;
        if (!ProcessEventsUntil([&] { return whole.load() == packets; }, 30000)) {
            ADD_FAILURE() << "round " << round << ": " << whole.load() << " of " << packets
                          << " packets arrived whole";
            break;
        }
    }
    stop = true;
    drain.join();
    int wakes = 0;
    for (size_t i = 0; i + sizeof wake <= received.size(); ++i)
        wakes += std::equal(wake, wake + sizeof wake, received.begin() + long(i)) ? 1 : 0;
    EXPECT_GT(raws, 0);
    EXPECT_EQ(wakes, raws) << "a raw write was split by a packet";
}

TEST(ComRW, DiscardTakesBackWaitingPacketsOfOneCommandAndWhatTheDriverHolds) {
    TPtyPeer peer;
    TComRW com;
    ASSERT_TRUE(OpenOn(com, peer)) << com.LastError();
    // The peer reads nothing: throttle packets pile up in the driver, then in the ring behind the
    // blocked writer; a configuration request waits among them.
    const uint8_t throttle[] = {zuq::Cmd::Throttle, 0x7D, 0x00};
    const auto fill = [&] {
        int queued = 0;
        for (int refusedInARow = 0; refusedInARow < 5;) {
            if (com.QueuePacket(0, throttle, sizeof throttle, 0x01)) {
                ++queued;
                refusedInARow = 0;
            } else {
                ++refusedInARow;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return queued;
    };
    const int first = fill();
    ASSERT_GT(first, 100) << "the driver and the ring both hold throttle packets";
    ASSERT_TRUE(ProcessEventsUntil([&] { return com.SendCommandByte(0x01, zuq::Cmd::ConfigGet, 5); }));
    fill();

    com.DiscardQueued(zuq::Cmd::Throttle);
    // A pseudo-terminal keeps what its far end's line discipline already took, so some of the first
    // throttle packets still arrive; none of those that waited in the ring does, and the request does.
    const auto after = peer.ReadPackets(size_t(first) + 100, 2000);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back().payload, (std::vector<uint8_t>{zuq::Cmd::ConfigGet, 5}));
    EXPECT_LE(int(after.size()) - 1, first - 60);
    // Packets queued after the discard go out as usual.
    ASSERT_TRUE(com.QueuePacket(0, throttle, sizeof throttle, 0x01));
    const auto later = peer.ReadPackets(1, 3000);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0].payload[0], zuq::Cmd::Throttle);
}
