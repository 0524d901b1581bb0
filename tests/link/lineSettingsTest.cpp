// Line settings on a pseudo-terminal: what reaches the driver on opening and while open. The
// controller's end of a pty reads the terminal's settings, so the tests look there. (A pty keeps 8
// data bits without parity whatever it is told.)
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <string>

#include "link/treadRW.h"
#include "support/ptyPeer.h"

namespace {

TDCB Block(uint32_t baud, uint8_t stop, uint32_t flags = TDCB::fBinary, uint8_t size = 8,
           uint8_t parity = 0) {
    return {.DCBlength = TDCB::Size,
            .BaudRate = baud,
            .Flags = flags,
            .ByteSize = size,
            .Parity = parity,
            .StopBits = stop};
}

// The driver's settings that matter here; a line that is not binary or was hung up says so.
std::string Driver(const TPtyPeer& peer) {
    termios2 t{};
    EXPECT_EQ(::ioctl(peer.Fd(), TCGETS2, &t), 0);
    std::string s = std::to_string(t.c_ospeed);
    const std::pair<bool, const char*> bits[] = {
        {t.c_cflag & CSTOPB, " CSTOPB"},   {t.c_cflag & CRTSCTS, " CRTSCTS"},
        {t.c_iflag & IXON, " IXON"},       {t.c_iflag & IXOFF, " IXOFF"},
        {t.c_lflag & ICANON, " ICANON"},   {t.c_lflag & (ECHO | ISIG), " ECHO"},
        {t.c_iflag & ICRNL, " ICRNL"},     {t.c_oflag & OPOST, " OPOST"},
        {(t.c_cflag & CBAUD) == B0, " B0"}};
    for (const auto& [on, name] : bits) s += on ? name : "";
    return s;
}

// Settings a driver might have from an earlier program, terminal processing included.
void GiveDriverOddSettings(const TPtyPeer& peer) {
    termios2 tio{};
    ::ioctl(peer.Fd(), TCGETS2, &tio);
    tio.c_cflag = (tio.c_cflag & ~(CBAUD | CIBAUD)) | BOTHER | CSTOPB | CRTSCTS;
    tio.c_ispeed = tio.c_ospeed = 4800;
    tio.c_iflag |= ICRNL | IXON;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    tio.c_oflag |= OPOST;
    ASSERT_EQ(::ioctl(peer.Fd(), TCSETS2, &tio), 0);
}

}  // namespace

TEST(LineSettings, AppliedOnOpeningARefusedSettingIsNamedAndNeverHangsUp) {
    // Flow control stays as the driver had it, except XON/XOFF: those bytes occur in packets.
    const char* odd = "4800 CSTOPB CRTSCTS";
    const char* oddRead = "4800 bod 8N2 RTS/CTS";
    const struct {
        TDCB dcb;
        const char *driver, *readBack, *refused;
    } cases[] = {
        {TDCB{}, odd, oddRead, ""},  // unconfigured: the driver's settings, made binary
        {Block(250000, 2, TDCB::fBinary | TDCB::fRtsControlHandshake), "250000 CSTOPB CRTSCTS",
         "250000 bod 8N2 RTS/CTS", ""},
        {Block(9600, 0), "9600", "9600 bod 8N1", ""},
        {Block(115200, 1, TDCB::fOutxCtsFlow), "115200 CSTOPB CRTSCTS", "115200 bod 8N2 RTS/CTS", ""},
        {Block(19200, 0, TDCB::fOutX | TDCB::fInX, 7, 2), "19200 IXON IXOFF", "19200 bod 8N1 XON/XOFF", ""},
        {Block(38400, 0, TDCB::fOutX, 5, 3), "38400 IXON", "38400 bod 8N1 XON/XOFF", ""},
        {Block(0, 2, TDCB::fOutxCtsFlow), odd, oddRead, "baud rate 0"},
        {Block(9600, 2, TDCB::fBinary, 4), odd, oddRead, "byte size 4"},
        {Block(9600, 2, TDCB::fBinary, 9), odd, oddRead, "byte size 9"},
        {Block(9600, 2, TDCB::fBinary, 8, 5), odd, oddRead, "parity 5"},
        {Block(9600, 3), odd, oddRead, "stop bits 3"},
    };
    for (const auto& c : cases) {
        TPtyPeer peer;
        GiveDriverOddSettings(peer);
        TComRW com;
        com.SetLineSettings(c.dcb);
        com.PortName = peer.SlaveName();
        com.SetActive(true);
        ASSERT_TRUE(com.Active()) << c.driver;
        EXPECT_EQ(Driver(peer), c.driver) << c.readBack;
        EXPECT_EQ(com.RefusedSetting(), c.refused) << c.driver;
        TDCB back;
        EXPECT_TRUE(com.LineInUse(back));
        EXPECT_EQ(back.Describe(), c.readBack);
    }
}
