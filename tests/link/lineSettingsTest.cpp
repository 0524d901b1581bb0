// Line settings on a pseudo-terminal: what reaches the driver on opening and while open. The
// controller's end of a pty reads and writes the terminal's settings, so the tests look there.
// (A pty keeps 8 data bits without parity whatever it is told; those two are not checked here.)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstddef>

#include "link/serialDevice.h"
#include "link/treadRW.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {

termios2 DriverSettings(const TPtyPeer& peer) {
    termios2 tio{};
    EXPECT_EQ(::ioctl(peer.Fd(), TCGETS2, &tio), 0);
    return tio;
}

void SetDriverSettings(const TPtyPeer& peer, const termios2& tio) {
    ASSERT_EQ(::ioctl(peer.Fd(), TCSETS2, &tio), 0);
}

TDCB Block(uint32_t baud, uint8_t stopBits, uint32_t flags = TDCB::fBinary, uint8_t byteSize = 8,
           uint8_t parity = 0) {
    TDCB dcb;
    dcb.DCBlength = TDCB::Size;
    dcb.BaudRate = baud;
    dcb.Flags = flags;
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    return dcb;
}

struct TExpected {
    uint32_t baud;
    bool twoStopBits;
    bool rtsCts;
    bool xonOut;
    bool xonIn;
};

void ExpectDriverHas(const TPtyPeer& peer, const TExpected& e, const char* what) {
    const termios2 tio = DriverSettings(peer);
    EXPECT_EQ(tio.c_ospeed, e.baud) << what;
    EXPECT_NE(tio.c_cflag & CBAUD, tcflag_t(B0)) << what << ": the line was hung up";
    EXPECT_EQ(bool(tio.c_cflag & CSTOPB), e.twoStopBits) << what;
    EXPECT_EQ(bool(tio.c_cflag & CRTSCTS), e.rtsCts) << what;
    EXPECT_EQ(bool(tio.c_iflag & IXON), e.xonOut) << what;
    EXPECT_EQ(bool(tio.c_iflag & IXOFF), e.xonIn) << what;
}

// Settings a driver might have from an earlier program, terminal processing included.
void GiveDriverOddSettings(const TPtyPeer& peer) {
    termios2 tio = DriverSettings(peer);
    tio.c_cflag &= ~(CBAUD | CIBAUD);
    tio.c_cflag |= BOTHER | CSTOPB | CRTSCTS;
    tio.c_ispeed = tio.c_ospeed = 4800;
    tio.c_iflag |= ICRNL | IXON;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_oflag |= OPOST;
    SetDriverSettings(peer, tio);
}

}  // namespace

TEST(LineSettings, UnconfiguredBlockKeepsTheDriversSettingsButMakesTheLineBinary) {
    TPtyPeer peer;
    GiveDriverOddSettings(peer);
    TComRW com;
    ASSERT_FALSE(com.GetLineSettings().Configured());
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active()) << com.LastError();
    // Flow control stays as the driver had it, except XON/XOFF: those bytes occur in packets.
    ExpectDriverHas(peer, {4800, true, true, false, false}, "unconfigured");
    const termios2 tio = DriverSettings(peer);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & ICRNL, 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    // A carriage return and an XOFF pass unchanged in both directions.
    ASSERT_TRUE(com.SendCommandData(0x01, 0x46, (const uint8_t*)"\r\x13", 2));
    auto out = peer.ReadPackets(1, 3000);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].payload, std::vector<uint8_t>({0x46, '\r', 0x13}));
}

TEST(LineSettings, ConfiguredBlockIsAppliedOnOpeningAndWhileOpen) {
    const struct {
        const char* name;
        TDCB dcb;
        TExpected expected;
    } cases[] = {
        {"250000 baud (no B constant), two stop bits, RTS handshake",
         Block(250000, 2, TDCB::fBinary | TDCB::fRtsControlHandshake),
         {250000, true, true, false, false}},
        {"9600 baud, one stop bit, no flow control", Block(9600, 0), {9600, false, false, false, false}},
        {"115200 baud, 1.5 stop bits, CTS flow",
         Block(115200, 1, TDCB::fBinary | TDCB::fOutxCtsFlow),
         {115200, true, true, false, false}},
        {"19200 baud, XON/XOFF both ways",
         Block(19200, 0, TDCB::fBinary | TDCB::fOutX | TDCB::fInX, 7, 2),
         {19200, false, false, true, true}},
        {"38400 baud, XON/XOFF sending only",
         Block(38400, 0, TDCB::fOutX, 5, 3),
         {38400, false, false, true, false}},
    };
    for (const auto& c : cases) {
        TPtyPeer peer;
        GiveDriverOddSettings(peer);
        TComRW com;
        com.SetLineSettings(c.dcb);
        com.PortName = peer.SlaveName();
        com.SetActive(true);
        ASSERT_TRUE(com.Active()) << com.LastError();
        ExpectDriverHas(peer, c.expected, c.name);
        EXPECT_EQ(DriverSettings(peer).c_lflag & (ICANON | ECHO), 0u) << c.name;

        // The same block given while open takes effect at once.
        TPtyPeer other;
        TComRW open;
        open.PortName = other.SlaveName();
        open.SetActive(true);
        ASSERT_TRUE(open.Active());
        open.SetLineSettings(c.dcb);
        ExpectDriverHas(other, c.expected, c.name);
    }
}

TEST(LineSettings, RejectedBlockLeavesTheLineAsItWasAndNeverHangsUp) {
    TPtyPeer peer;
    TComRW com;
    int lost = 0;
    com.OnDeviceLost = [&] { ++lost; };
    com.SetLineSettings(Block(57600, 0));
    com.PortName = peer.SlaveName();
    com.SetActive(true);
    ASSERT_TRUE(com.Active());
    const TExpected before{57600, false, false, false, false};
    const struct {
        const char* name;
        TDCB dcb;
    } rejected[] = {
        {"baud rate 0", Block(0, 2, TDCB::fBinary | TDCB::fOutxCtsFlow)},
        {"byte size 4", Block(9600, 2, TDCB::fBinary, 4)},
        {"byte size 9", Block(9600, 2, TDCB::fBinary, 9)},
        {"parity 5", Block(9600, 2, TDCB::fBinary, 8, 5)},
        {"stop bits 3", Block(9600, 3)},
    };
    for (const auto& r : rejected) {
        com.SetLineSettings(r.dcb);
        EXPECT_TRUE(com.Active()) << r.name;
        ExpectDriverHas(peer, before, r.name);
    }
    // The line still carries packets, and nothing reported the device gone.
    ASSERT_TRUE(com.SendCommand(0x01, 0x01));
    EXPECT_EQ(peer.ReadPackets(1, 3000).size(), 1u);
    ProcessEventsFor(50);
    EXPECT_EQ(lost, 0);

    // Opening with a rejected block opens the port with the driver's settings.
    TPtyPeer second;
    GiveDriverOddSettings(second);
    TComRW fresh;
    fresh.SetLineSettings(Block(0, 0));
    fresh.PortName = second.SlaveName();
    fresh.SetActive(true);
    EXPECT_TRUE(fresh.Active());
    ExpectDriverHas(second, {4800, true, true, false, false}, "opened with baud rate 0");
}

TEST(LineSettings, DeviceReadsBackWhatItApplied) {
    TPtyPeer peer;
    TSerialDevice device;
    std::string error;
    ASSERT_TRUE(device.Open(peer.SlaveName(), error)) << error;
    const TDCB blocks[] = {
        Block(250000, 2, TDCB::fBinary | TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake),
        Block(1200, 0, TDCB::fBinary | TDCB::fOutX | TDCB::fInX),
        Block(921600, 0, TDCB::fBinary),
    };
    for (const TDCB& dcb : blocks) {
        ASSERT_TRUE(device.Apply(dcb));
        TDCB back;
        ASSERT_TRUE(device.Query(back));
        EXPECT_EQ(back.DCBlength, TDCB::Size);
        EXPECT_EQ(back.BaudRate, dcb.BaudRate);
        EXPECT_EQ(back.StopBits, dcb.StopBits);
        EXPECT_EQ(back.ByteSize, 8);
        EXPECT_EQ(back.Flags, dcb.Flags);
    }
    EXPECT_FALSE(device.Apply(TDCB{})) << "an unconfigured block is not applied";
}

TEST(LineSettings, BlockKeepsTheWindowsLayout) {
    // Settings files store the block byte for byte; the offsets are those of a Windows DCB.
    EXPECT_EQ(offsetof(TDCB, BaudRate), 4u);
    EXPECT_EQ(offsetof(TDCB, Flags), 8u);
    EXPECT_EQ(offsetof(TDCB, XonLim), 14u);
    EXPECT_EQ(offsetof(TDCB, ByteSize), 18u);
    EXPECT_EQ(offsetof(TDCB, Parity), 19u);
    EXPECT_EQ(offsetof(TDCB, StopBits), 20u);
    EXPECT_EQ(offsetof(TDCB, XonChar), 21u);
    EXPECT_EQ(offsetof(TDCB, EvtChar), 25u);
    EXPECT_EQ(sizeof(TDCB), 28u);
}
