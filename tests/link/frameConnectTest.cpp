#include <SimpleIni.h>
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QToolButton>
#include <ctime>

#include "link/comcon.h"
#include "link/frameConnect.h"
#include "link/portSettingsDialog.h"
#include "support/listedPeer.h"
#include "support/qtWait.h"

namespace {
// Section "Comm" as one line, in the order of its keys.
std::string Comm(const CSimpleIniA& ini) {
    std::string line;
    for (const char* key : {"Name", "BaudRate", "ByteSize", "Parity", "StopBits", "Flags"})
        line += std::string(key) + "=" + ini.GetValue("Comm", key, "?") + " ";
    return line;
}

struct FrameConnectPort : ::testing::Test {
    FrameConnectPort() {
        frame.InitPort([this](const uint8_t*, uint8_t, uint8_t) { ++packets; }, {}, {});
        frame.OnLog = [this](const QString& line) { log << line; };
        frame.ComRW->OnControlLines = [this](bool dtr, bool rts) { clears += dtr && rts; };
    }
    void Pick(const QString& text) {
        if (frame.ComboBox1->findText(text) < 0) frame.ComboBox1->insertItem(0, text);
        frame.ComboBox1->setCurrentIndex(frame.ComboBox1->findText(text));
        frame.ComboBox1Click();
    }
    void ConnectTo(const TListedPeer& port) {
        frame.RefreshPorts();
        Pick(port.Link);
        frame.ConnectClick();
        ASSERT_TRUE(frame.IsConnected()) << frame.LastError();
    }
    TFrameConnectPort frame;
    QStringList log;
    int clears = 0, packets = 0;
};

// Answers the next modal dialog: `edit` runs on it, then it is accepted (or rejected).
void AnswerDialog(std::function<void(TPortSettingsDialog&)> edit, bool accept) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, edit, accept] {
        auto* dialog = dynamic_cast<TPortSettingsDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->deleteLater();
        edit(*dialog);
        accept ? dialog->accept() : dialog->reject();
    });
    timer->start(20);
}
}  // namespace

TEST(Comcon, SimulatorPortsFollowRealOnesSortedAndOnlyLiveFreshLinks) {
    TListedPeer b("simB"), a("simA"), stale("simStale");
    const QDir folder(QString::fromStdString(SimPortFolder()));
    ASSERT_TRUE(QFile::link("/dev/does-not-exist-vek", folder.filePath("simGone")));
    // A killed simulator's link whose terminal number was given to someone else since.
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(stale.Link).constData(), hourAgo, AT_SYMLINK_NOFOLLOW),
              0);
    const std::vector<TPortEntry> ports = EnumPorts();
    QFile::remove(folder.filePath("simGone"));
    const size_t n = ports.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(std::make_pair(ports[n - 2].Name, ports[n - 1].Name), std::make_pair(a.Path(), b.Path()));
    for (size_t i = 0; i + 2 < n; ++i) {
        EXPECT_EQ(ports[i].Name.rfind("/dev/", 0), 0u) << ports[i].Name;  // real devices by their path
        EXPECT_TRUE(i == 0 || ports[i - 1].Name < ports[i].Name);
    }
}

TEST_F(FrameConnectPort, ListPicksAndConnect) {
    TListedPeer one("sim1"), three("sim3");
    frame.PortName = three.Path();
    frame.RefreshPorts();
    const auto at = [&](const QString& entry) { return frame.ComboBox1->findText(entry); };
    EXPECT_TRUE(at(one.Link) < at(three.Link) && at("Refresh") == frame.ComboBox1->count() - 1);
    EXPECT_EQ(frame.ComboBox1->currentText(), three.Link) << "the remembered port";
    frame.PortName = "/dev/gone-away";
    frame.RefreshPorts();
    EXPECT_EQ(frame.ComboBox1->currentIndex(), 0) << "else the first entry";

    // Without a settings file the line runs at 115200 8N1 (the driver's own default is 9600).
    ConnectTo(one);
    termios2 tio{};
    ::ioctl(one.Peer.Fd(), TCGETS2, &tio);
    EXPECT_EQ(std::make_pair(tio.c_ospeed, tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS)),
              std::make_pair(115200u, tcflag_t(CS8)));
    Pick(one.Link);  // the list reports picking the shown entry again
    EXPECT_TRUE(frame.IsConnected() && log.isEmpty()) << "re-picking the connected port changes nothing";
    Pick(three.Link);
    EXPECT_FALSE(frame.IsConnected()) << "another port: closed, not opened";
    EXPECT_EQ(
        log,
        QStringList{QString("Port %1 closed: %2 was picked, Connect opens it.").arg(one.Link, three.Link)});
    frame.ConnectClick();
    EXPECT_EQ(frame.ComRW->PortName, three.Path());
    TListedPeer later("sim5");
    Pick("Refresh");
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_EQ(log.last(), QString("Port %1 closed to list the ports again.").arg(three.Link));
    EXPECT_TRUE(at(later.Link) > at(three.Link) && frame.ComboBox1->currentText() == three.Link);

    Pick("/dev/does-not-exist-vek");
    frame.ConnectClick();
    EXPECT_FALSE(frame.IsConnected() || frame.Button1->isEnabled() || !frame.Connect->isEnabled());
    EXPECT_EQ(frame.LastError().rfind("no such device", 0), 0u) << frame.LastError();
}

TEST_F(FrameConnectPort, SettingsFileLoadAndSave) {
    TListedPeer port("sim2");
    CSimpleIniA saved;
    ASSERT_EQ(saved.LoadData("[Comm]\nName=/dev/old\n"), SI_OK);
    frame.SaveSettings(saved);  // no settings file was loaded and no port used
    EXPECT_EQ(Comm(saved), "Name= BaudRate=115200 ByteSize=8 Parity=0 StopBits=0 Flags=0 ");
    ConnectTo(port);
    frame.RefreshPorts();  // the port used is what the file remembers, whatever the list shows now
    frame.ComboBox1->setCurrentIndex(frame.ComboBox1->count() - 1);
    frame.SaveSettings(saved);
    EXPECT_EQ(saved.GetValue("Comm", "Name"), port.Path());

    // Loaded, handed to the port object, and written back from there. Missing keys and values that do
    // not fit their field read as 0.
    const std::pair<const char*, const char*> cases[] = {
        {"Name=/dev/ttyUSB0", "Name=/dev/ttyUSB0 BaudRate=0 ByteSize=0 Parity=0 StopBits=0 Flags=0 "},
        {"Name=/dev/ttyACM1\nBaudRate=57600\nByteSize=7\nParity=2\nStopBits=2\nFlags=4294967295",
         "Name=/dev/ttyACM1 BaudRate=57600 ByteSize=7 Parity=2 StopBits=2 Flags=4294967295 "},
        {"BaudRate=-5\nByteSize=300\nParity=x", "Name= BaudRate=0 ByteSize=0 Parity=0 StopBits=0 Flags=0 "},
    };
    for (const auto& [text, written] : cases) {
        CSimpleIniA ini, out;
        ASSERT_EQ(ini.LoadData(std::string("[Comm]\n") + text), SI_OK);
        frame.LoadSettings(ini);
        frame.SaveSettings(out);
        EXPECT_EQ(Comm(out), written);
    }
}

TEST_F(FrameConnectPort, SettingsDialogStartsWithFlagsClearedStoresTheChoiceAndClearsTheLines) {
    TListedPeer port("sim0");
    ConnectTo(port);
    frame.LineSettings.BaudRate = 19200;
    frame.LineSettings.Flags = TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake;
    clears = 0;
    std::pair<int, QString> atOpen;
    AnswerDialog(
        [&](TPortSettingsDialog& d) {
            atOpen = {d.FlowControl->currentIndex(), d.BaudRate->currentText()};
            d.BaudRate->setEditText("250000");  // not a common rate
            d.Parity->setCurrentIndex(2);
            d.StopBits->setCurrentIndex(2);
            d.FlowControl->setCurrentIndex(TPortSettingsDialog::FlowXonXoff);
        },
        true);
    frame.Button4Click();
    EXPECT_EQ(atOpen, std::make_pair(int(TPortSettingsDialog::FlowNone), QString("19200")));
    EXPECT_TRUE(frame.IsConnected()) << "reopened as it was";
    EXPECT_EQ(clears, 2) << "DTR and RTS cleared after the dialog's own open and after the reopen";
    const TDCB& s = frame.LineSettings;
    EXPECT_EQ(std::make_tuple(s.BaudRate, s.Parity, s.StopBits, s.Flags),
              std::make_tuple(250000u, uint8_t(2), uint8_t(2),
                              TDCB::fBinary | TDCB::fParity | TDCB::fOutX | TDCB::fInX));
    EXPECT_EQ(frame.LineInUse().Describe(), "250000 bod 8N2 XON/XOFF") << "as the driver took it";

    AnswerDialog([](TPortSettingsDialog& d) { d.BaudRate->setEditText("1200"); }, false);
    frame.Button4Click();
    EXPECT_TRUE(frame.LineSettings.BaudRate == 250000u && frame.IsConnected())
        << "cancelled: nothing changes";
    frame.Button1Click();
    Pick("/dev/does-not-exist-vek");
    frame.Button4Click();
    EXPECT_TRUE(!frame.LastError().empty() && frame.LineSettings.BaudRate == 250000u);
}

TEST_F(FrameConnectPort, NoPacketWithinTwoSecondsOfConnectIsLoggedOnce) {
    TListedPeer port("sim0");
    const auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) frame.AnswerWaiter->Tick();
    };
    ConnectTo(port);
    ticks(TFrameConnectPort::AnswerTicks - 1);
    EXPECT_TRUE(log.isEmpty()) << "not before 2 s";
    ticks(3 * TFrameConnectPort::AnswerTicks);
    EXPECT_EQ(log,
              QStringList{QString("No controller answered on %1 at 115200 bod 8N1 within 2 s: is it powered, "
                                  "and set to this baud rate?")
                              .arg(port.Link)});
    // Any packet ends the wait, and so does Disconnect.
    frame.Button1Click();
    ConnectTo(port);
    ASSERT_TRUE(port.Peer.Send(0x04, {0x99}) && ProcessEventsUntil([&] { return packets > 0; }));
    ticks(3 * TFrameConnectPort::AnswerTicks);
    frame.Button1Click();
    ConnectTo(port);
    frame.Button1Click();
    ticks(3 * TFrameConnectPort::AnswerTicks);
    EXPECT_EQ(log.size(), 1);
}
