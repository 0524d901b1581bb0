#include <SimpleIni.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <ctime>
#include <memory>

#include "link/comcon.h"
#include "link/frameConnect.h"
#include "link/portSettingsDialog.h"
#include "link/simPortFolder.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
// A controller's end on a pseudo-terminal, published in the simulators' port folder as `name`.
struct TSimPort {
    explicit TSimPort(const QString& name) {
        const QDir folder(QString::fromStdString(SimPortFolder()));
        QDir().mkpath(folder.path());
        Link = folder.filePath(name);
        QFile::remove(Link);
        EXPECT_TRUE(QFile::link(QString::fromStdString(Peer.SlaveName()), Link));
    }
    ~TSimPort() { QFile::remove(Link); }
    std::string Path() const { return Link.toStdString(); }
    TPtyPeer Peer;
    QString Link;
};

QStringList Entries(const QComboBox* box) {
    QStringList list;
    for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
    return list;
}

// The entries that are simulator ports, in list order.
QStringList SimEntries(const QComboBox* box) {
    QStringList list;
    for (const QString& entry : Entries(box))
        if (entry.startsWith(QString::fromStdString(SimPortFolder()))) list << entry;
    return list;
}

struct FrameConnectPort : ::testing::Test {
    FrameConnectPort() { frame.InitPort({}, {}, {}); }
    TFrameConnectPort frame;
};

void PickEntry(TFrameConnectPort& frame, const QString& text) {
    const int index = frame.ComboBox1->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    frame.ComboBox1->setCurrentIndex(index);
    frame.ComboBox1Click();
}

// Answers the next modal dialog: `edit` runs on it, then it is accepted (or rejected).
void AnswerDialog(std::function<void(TPortSettingsDialog&)> edit, bool accept, bool* shown) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, edit, accept, shown] {
        auto* dialog = dynamic_cast<TPortSettingsDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        timer->stop();
        timer->deleteLater();
        *shown = true;
        if (edit) edit(*dialog);
        accept ? dialog->accept() : dialog->reject();
    });
    timer->start();
}
}  // namespace

TEST(Comcon, SimulatorPortsFollowRealOnesSortedAndOnlyLiveLinks) {
    TSimPort b("simB"), a("simA");
    const QDir folder(QString::fromStdString(SimPortFolder()));
    ASSERT_TRUE(QFile::link("/dev/does-not-exist-vek", folder.filePath("simGone")));
    QFile plain(folder.filePath("notalink"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    const std::vector<TPortEntry> ports = EnumPorts();
    ASSERT_GE(ports.size(), 2u);
    const size_t n = ports.size();
    EXPECT_EQ(ports[n - 2].Name, a.Path());
    EXPECT_EQ(ports[n - 1].Name, b.Path());
    for (size_t i = 0; i + 2 < n; ++i) {
        EXPECT_EQ(ports[i].Name.rfind("/dev/", 0), 0u) << ports[i].Name;  // real devices by their path
        if (i > 0) {
            EXPECT_LT(ports[i - 1].Name, ports[i].Name);
        }
    }
    EXPECT_FALSE(ports[n - 1].ToolTip().isEmpty());
    QFile::remove(folder.filePath("simGone"));
    QFile::remove(folder.filePath("notalink"));

    EXPECT_TRUE(EnumPorts(folder.filePath("missing").toStdString()).size() == n - 2);
}

TEST(Comcon, LinkOlderThanItsTerminalIsNotListed) {
    // A killed simulator's link whose terminal number was given to someone else since.
    TSimPort stale("simStale"), live("simLive");
    const QByteArray path = QFile::encodeName(stale.Link);
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.constData(), hourAgo, AT_SYMLINK_NOFOLLOW), 0);
    std::vector<std::string> names;
    for (const TPortEntry& port : EnumPorts()) names.push_back(port.Name);
    EXPECT_EQ(std::count(names.begin(), names.end(), stale.Path()), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), live.Path()), 1);
}

TEST(Comcon, ToolTipShowsDescriptionAndManufacturer) {
    EXPECT_EQ((TPortEntry{"/dev/ttyUSB0", "CP2102 USB to UART", "Silicon Labs"}.ToolTip()),
              "CP2102 USB to UART, Silicon Labs");
    EXPECT_EQ((TPortEntry{"/dev/ttyS0", "", ""}.ToolTip()), "/dev/ttyS0");
}

TEST_F(FrameConnectPort, RefreshSelectsRememberedPortOrFirstEntry) {
    TSimPort one("sim1"), three("sim3");
    frame.PortName = three.Path();
    frame.RefreshPorts();
    EXPECT_EQ(SimEntries(frame.ComboBox1), (QStringList{one.Link, three.Link}));
    EXPECT_EQ(Entries(frame.ComboBox1).last(), "Refresh");
    EXPECT_EQ(frame.ComboBox1->currentText(), three.Link);

    frame.PortName = "/dev/gone-away";
    frame.RefreshPorts();
    EXPECT_EQ(frame.ComboBox1->currentIndex(), 0);
    EXPECT_TRUE(frame.Connect->isEnabled());
    EXPECT_FALSE(frame.Button1->isEnabled());
}

TEST_F(FrameConnectPort, ConnectOpensListedPortAndDisconnectCloses) {
    TSimPort port("sim0");
    frame.RefreshPorts();
    PickEntry(frame, port.Link);
    frame.ConnectClick();
    ASSERT_TRUE(frame.IsConnected()) << frame.ComRW->LastError();
    EXPECT_EQ(frame.ComRW->PortName, port.Path());
    EXPECT_EQ(frame.PortName, port.Path());
    EXPECT_FALSE(frame.Connect->isEnabled());
    EXPECT_TRUE(frame.Button1->isEnabled());
    ASSERT_TRUE(frame.ComRW->SendCommand(0x01, zuq::Cmd::Ping));
    EXPECT_EQ(port.Peer.ReadPackets(1, 3000).size(), 1u);
    frame.Button1Click();
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_TRUE(frame.Connect->isEnabled());
}

TEST_F(FrameConnectPort, PickingRefreshWhileConnectedClosesAndRebuildsList) {
    TSimPort first("sim0");
    frame.RefreshPorts();
    PickEntry(frame, first.Link);
    frame.ConnectClick();
    ASSERT_TRUE(frame.IsConnected());
    TSimPort later("sim5");
    PickEntry(frame, "Refresh");
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_EQ(SimEntries(frame.ComboBox1), (QStringList{first.Link, later.Link}));
    EXPECT_EQ(frame.ComboBox1->currentText(), first.Link);  // the remembered port stays chosen
}

TEST_F(FrameConnectPort, PickingAnotherPortWhileConnectedClosesWithoutOpeningIt) {
    TSimPort first("sim0"), second("sim1");
    frame.RefreshPorts();
    PickEntry(frame, first.Link);
    frame.ConnectClick();
    ASSERT_TRUE(frame.IsConnected());
    PickEntry(frame, second.Link);
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_EQ(frame.PortName, second.Path());
    EXPECT_EQ(frame.ComRW->PortName, second.Path());
    EXPECT_TRUE(frame.Connect->isEnabled());
    frame.ConnectClick();
    EXPECT_TRUE(frame.IsConnected());
}

TEST_F(FrameConnectPort, MissingPortStaysClosedWithReasonAndConnectEnabled) {
    frame.RefreshPorts();
    frame.ComboBox1->clear();
    frame.ComboBox1->addItem("/dev/does-not-exist-vek");
    frame.ConnectClick();
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_FALSE(frame.ComRW->LastError().empty());
    EXPECT_TRUE(frame.Connect->isEnabled());
    EXPECT_FALSE(frame.Button1->isEnabled());
}

TEST(FrameConnect, WithoutPortObjectButtonsAndListAreDisabled) {
    TFrameConnectPort frame;
    frame.UpdateButtons();
    EXPECT_FALSE(frame.IsConnected());
    EXPECT_FALSE(frame.Connect->isEnabled());
    EXPECT_FALSE(frame.Button1->isEnabled());
    EXPECT_FALSE(frame.ComboBox1->isEnabled());
    frame.ConnectClick();  // nothing to open, nothing to crash
    EXPECT_FALSE(frame.IsConnected());
}

TEST_F(FrameConnectPort, SettingsLoadAndSave) {
    struct TCase {
        const char* ini;
        const char* name;
        uint32_t baud, flags;
        uint8_t byteSize, parity, stopBits;
    };
    const TCase cases[] = {
        {"[Comm]\nName=/dev/ttyUSB0\n", "/dev/ttyUSB0", 0, 0, 0, 0, 0},
        {"[Comm]\nName=/dev/ttyACM1\nBaudRate=57600\nByteSize=7\nParity=2\nStopBits=2\nFlags=4294967295\n",
         "/dev/ttyACM1", 57600, 0xFFFFFFFFu, 7, 2, 2},
        // Values that do not fit their field read as missing.
        {"[Comm]\nBaudRate=-5\nByteSize=300\nParity=x\n", "", 0, 0, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        CSimpleIniA ini;
        ASSERT_EQ(ini.LoadData(c.ini), SI_OK);
        frame.LoadSettings(ini);
        EXPECT_TRUE(frame.LineSettings.Configured()) << c.ini;
        EXPECT_EQ(frame.LineSettings.DCBlength, 28u);
        EXPECT_EQ(frame.PortName, c.name) << c.ini;
        EXPECT_EQ(frame.LineSettings.BaudRate, c.baud) << c.ini;
        EXPECT_EQ(frame.LineSettings.ByteSize, c.byteSize) << c.ini;
        EXPECT_EQ(frame.LineSettings.Parity, c.parity) << c.ini;
        EXPECT_EQ(frame.LineSettings.StopBits, c.stopBits) << c.ini;
        EXPECT_EQ(frame.LineSettings.Flags, c.flags) << c.ini;
        EXPECT_EQ(frame.ComRW->GetLineSettings().BaudRate, c.baud) << "handed to the port object";
    }
}

TEST(FrameConnect, SavingUnconfiguredWritesDefaultsAndKeepsOtherSections) {
    TFrameConnectPort frame;
    frame.InitPort({}, {}, {});
    frame.RefreshPorts();
    CSimpleIniA ini;
    ASSERT_EQ(ini.LoadData("[Other]\nKey=kept\n[Comm]\nName=/dev/old\nExtra=1\n"), SI_OK);
    frame.SaveSettings(ini);
    EXPECT_STREQ(ini.GetValue("Comm", "Name"), "");
    EXPECT_EQ(ini.GetLongValue("Comm", "BaudRate", -1), 115200);
    EXPECT_EQ(ini.GetLongValue("Comm", "ByteSize", -1), 8);
    EXPECT_EQ(ini.GetLongValue("Comm", "Parity", -1), 0);
    EXPECT_EQ(ini.GetLongValue("Comm", "StopBits", -1), 0);
    EXPECT_EQ(ini.GetLongValue("Comm", "Flags", -1), 0);
    EXPECT_STREQ(ini.GetValue("Other", "Key"), "kept");

    // Once configured, the list's port and the port object's settings are what is written.
    TSimPort port("sim2");
    frame.RefreshPorts();
    frame.ComboBox1->setCurrentIndex(frame.ComboBox1->findText(port.Link));
    TDCB chosen = frame.LineSettings;
    chosen.BaudRate = 9600;
    frame.ComRW->SetLineSettings(chosen);
    frame.SaveSettings(ini);
    EXPECT_EQ(ini.GetValue("Comm", "Name"), port.Path());
    EXPECT_EQ(ini.GetLongValue("Comm", "BaudRate", -1), 9600);
}

TEST_F(FrameConnectPort, SettingsDialogStartsWithFlagsClearedAndStoresChoice) {
    TSimPort port("sim0");
    frame.RefreshPorts();
    PickEntry(frame, port.Link);
    frame.ConnectClick();
    ASSERT_TRUE(frame.IsConnected());
    TDCB stored = frame.LineSettings;
    stored.DCBlength = TDCB::Size;
    stored.BaudRate = 19200;
    stored.ByteSize = 8;
    stored.Flags = TDCB::fOutxCtsFlow | TDCB::fRtsControlHandshake;
    frame.LineSettings = stored;

    bool shown = false;
    int flowAtOpen = -1;
    QString baudAtOpen;
    AnswerDialog(
        [&](TPortSettingsDialog& d) {
            flowAtOpen = d.FlowControl->currentIndex();
            baudAtOpen = d.BaudRate->currentText();
            d.BaudRate->setEditText("250000");  // not a common rate
            d.Parity->setCurrentIndex(2);
            d.StopBits->setCurrentIndex(2);
            d.FlowControl->setCurrentIndex(TPortSettingsDialog::FlowXonXoff);
        },
        true, &shown);
    frame.Button4Click();
    ASSERT_TRUE(shown);
    EXPECT_EQ(flowAtOpen, TPortSettingsDialog::FlowNone);
    EXPECT_EQ(baudAtOpen, "19200");
    EXPECT_TRUE(frame.IsConnected()) << "reopened as it was";
    EXPECT_EQ(frame.LineSettings.BaudRate, 250000u);
    EXPECT_EQ(frame.LineSettings.Parity, 2);
    EXPECT_EQ(frame.LineSettings.StopBits, 2);
    EXPECT_EQ(frame.LineSettings.Flags, TDCB::fBinary | TDCB::fParity | TDCB::fOutX | TDCB::fInX);

    // Cancelled: nothing changes.
    shown = false;
    AnswerDialog([](TPortSettingsDialog& d) { d.BaudRate->setEditText("1200"); }, false, &shown);
    frame.Button4Click();
    ASSERT_TRUE(shown);
    EXPECT_EQ(frame.LineSettings.BaudRate, 250000u);
    EXPECT_TRUE(frame.IsConnected());
}

TEST_F(FrameConnectPort, SettingsDialogOnUnreachablePortKeepsSettingsAndSaysWhy) {
    frame.RefreshPorts();
    frame.ComboBox1->insertItem(0, "/dev/does-not-exist-vek");
    frame.ComboBox1->setCurrentIndex(0);
    frame.SetDefaults();
    frame.Button4Click();
    EXPECT_FALSE(frame.ComRW->LastError().empty());
    EXPECT_EQ(frame.LineSettings.BaudRate, 115200u);
    EXPECT_FALSE(frame.IsConnected());
}
