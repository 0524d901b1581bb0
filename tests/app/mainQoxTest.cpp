#include <SimpleIni.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/mainQox.h"
#include "support/readOnlyFolder.h"
#include "link/frameConnect.h"
#include "link/simPortFolder.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
// A controller's end on a pseudo-terminal, listed among the simulator ports.
struct TListedPeer {
    TListedPeer() {
        QDir().mkpath(QString::fromStdString(SimPortFolder()));
        Link = QDir(QString::fromStdString(SimPortFolder())).filePath("simT");
        QFile::remove(Link);
        EXPECT_TRUE(QFile::link(QString::fromStdString(Peer.SlaveName()), Link));
    }
    ~TListedPeer() { QFile::remove(Link); }
    TPtyPeer Peer;
    QString Link;
};

QStringList LogLines(const TFormMainQox& w) {
    return w.ListBoxLog->toPlainText().split('\n', Qt::SkipEmptyParts);
}

struct MainWindow : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<TFormMainQox>();
        window->IniPath = dir.filePath("vektool.ini");
        window->Beep = [this] { ++beeps; };
    }
    void Show() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    // Shows the window, picks the listed peer and connects.
    void Connect(TListedPeer& peer) {
        Show();
        window->FrameConnectPort1->RefreshPorts();
        QComboBox* list = window->FrameConnectPort1->ComboBox1;
        list->setCurrentIndex(list->findText(peer.Link));
        window->ActionConnectExecute();
        ASSERT_TRUE(window->IsConnected());
    }
    void Packet(uint8_t channel, std::vector<uint8_t> payload) {
        window->OnPacket(payload.data(), uint8_t(payload.size()), channel);
    }

    QTemporaryDir dir;
    std::unique_ptr<TFormMainQox> window;
    int beeps = 0;
};
}  // namespace

TEST_F(MainWindow, DispatchOrderAndWhatTheWindowTakes) {
    TListedPeer peer;
    Connect(peer);
    struct TCase {
        uint8_t channel;
        uint8_t code;
        const char* takenBy;  // the handler that returns false; "" = nobody takes it
        QStringList offered;
        const char* logged;
    };
    const TCase cases[] = {
        {0x04, zuq::Cmd::Echo, "", {"link"}, "Echo is received."},
        {0x04, zuq::Cmd::Echo, "link", {"link"}, nullptr},
        {0x04, zuq::Cmd::ConfigData, "", {"link", "firmware", "config", "status"}, nullptr},
        {0x04, zuq::Cmd::ConfigData, "firmware", {"link", "firmware"}, nullptr},
        {0x04, zuq::Cmd::ConfigData, "config", {"link", "firmware", "config"}, nullptr},
        {0x01, zuq::Cmd::Echo, "", {"link", "status", "firmware", "config"}, nullptr},
        {0x84, zuq::Cmd::ConfigData, "status", {"link", "status"}, nullptr},
        {0x84, zuq::Cmd::Status, "", {}, nullptr},  // telemetry of a controller not selected
        {0xBB, zuq::Cmd::BootInfo, "firmware", {"link", "status", "firmware"}, nullptr},
    };
    for (const TCase& c : cases) {
        QStringList offered;
        const auto handler = [&](const char* name) {
            return [&offered, &c, name](const uint8_t* payload, uint8_t length) {
                EXPECT_EQ(length, 1);
                EXPECT_EQ(payload[0], c.code);
                offered << name;
                return QString(name) != c.takenBy;
            };
        };
        window->LinkScanReply = handler("link");
        window->FirmwareReply = handler("firmware");
        window->ConfigReply = handler("config");
        window->StatusReply = handler("status");
        const int before = LogLines(*window).size();
        Packet(c.channel, {c.code});
        EXPECT_EQ(offered, c.offered) << int(c.channel) << " " << int(c.code) << " " << c.takenBy;
        const QStringList added = LogLines(*window).mid(before);
        EXPECT_EQ(added, c.logged ? QStringList{c.logged} : QStringList{}) << int(c.channel);
    }
}

TEST_F(MainWindow, RealFramesKeepTheDispatchOrder) {
    TListedPeer peer;
    Connect(peer);
    Packet(0x04, {zuq::Cmd::Echo});
    EXPECT_EQ(LogLines(*window).count("Echo is received."), 1);
    // The link scan takes the active-link reply before anything else sees it.
    Packet(0x04, {zuq::Cmd::ActiveLink, 3});
    EXPECT_EQ(window->FrameConnectPort1->Port()->ActiveLink, 3);
    EXPECT_EQ(window->windowTitle(), "Vek Tool");
    // It passes the identity on, so the window still sets its caption.
    Packet(
        0x04,
        {zuq::Cmd::Identify, '2', '.', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    EXPECT_EQ(window->windowTitle(), "Vek Tool [FW:2.1  SN:00000001]");
}

TEST_F(MainWindow, IdentityReplySetsCaptionAndLogs) {
    TListedPeer peer;
    Connect(peer);
    std::vector<uint8_t> full(25, 0);
    full[0] = zuq::Cmd::Identify;
    full[1] = '1', full[2] = '.', full[3] = '0';
    full[21] = 0x78, full[22] = 0x56, full[23] = 0x34, full[24] = 0x12;
    Packet(0x04, full);
    EXPECT_EQ(window->windowTitle(), "Vek Tool [FW:1.0  SN:12345678]");
    EXPECT_EQ(LogLines(*window).last(), "FW: 1.0 SN: 12345678");

    // Fewer than 25 bytes: the text stays, missing serial bytes read as 0.
    Packet(0x04,
           {zuq::Cmd::Identify, 'V', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD});
    EXPECT_EQ(window->windowTitle(), "Vek Tool [FW:V2  SN:0000cdab]");
    Packet(0x04, {zuq::Cmd::Identify});
    EXPECT_EQ(window->windowTitle(), "Vek Tool [FW:  SN:00000000]");
    // A text without a zero byte ends after 24 bytes.
    std::vector<uint8_t> longText(40, 'x');
    longText[0] = zuq::Cmd::Identify;
    Packet(0x04, longText);
    EXPECT_EQ(window->windowTitle(), QString("Vek Tool [FW:%1  SN:78787878]").arg(QString(24, 'x')));

    window->ActionDisconnectExecute();
    EXPECT_EQ(window->windowTitle(), "Vek Tool");
}

TEST_F(MainWindow, PacketsWhileClosedAreIgnored) {
    Show();
    int offered = 0;
    window->LinkScanReply = [&](const uint8_t*, uint8_t) { return ++offered, true; };
    const int before = LogLines(*window).size();
    Packet(0x04, {zuq::Cmd::Echo});
    Packet(0x04, {zuq::Cmd::Identify, '1', 0});
    EXPECT_EQ(offered, 0);
    EXPECT_EQ(LogLines(*window).size(), before);
    EXPECT_EQ(window->windowTitle(), "Vek Tool");
}

TEST_F(MainWindow, EchoFromThePeerIsLoggedOnceAfterPing) {
    TListedPeer peer;
    Connect(peer);
    // Connect cleared DTR and RTS and asked the controller to detect itself on channel 0x01.
    std::vector<TPeerPacket> got = peer.Peer.ReadPackets(1, 5000, [] { QCoreApplication::processEvents(); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].channel, zuq::ChannelApp);
    EXPECT_EQ(got[0].payload, std::vector<uint8_t>{zuq::Cmd::Detect});

    window->SetNetBit(zuq::NetBit);
    window->ActionPingExecute();
    got = peer.Peer.ReadPackets(1, 5000, [] { QCoreApplication::processEvents(); });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].channel, zuq::ChannelApp | zuq::NetBit);
    EXPECT_EQ(got[0].payload, std::vector<uint8_t>{zuq::Cmd::Ping});
    ASSERT_TRUE(peer.Peer.Send(0x04, {zuq::Cmd::Echo}));
    ASSERT_TRUE(ProcessEventsUntil([&] { return LogLines(*window).contains("Echo is received."); }));
    ProcessEventsFor(50);
    EXPECT_EQ(LogLines(*window).count("Echo is received."), 1);
    EXPECT_EQ(LogLines(*window).count("Send ping..."), 1);
}

TEST_F(MainWindow, ConnectDisconnectLogAndActionStates) {
    TListedPeer peer;
    Show();
    window->ActionList1.UpdateAll();
    EXPECT_TRUE(window->ActionConnect->isEnabled());
    EXPECT_FALSE(window->ActionDisconnect->isEnabled());
    EXPECT_FALSE(window->ActionPing->isEnabled());
    Connect(peer);
    window->ActionList1.UpdateAll();
    EXPECT_FALSE(window->ActionConnect->isEnabled());
    EXPECT_TRUE(window->ActionDisconnect->isEnabled());
    EXPECT_TRUE(window->ActionPing->isEnabled());
    EXPECT_TRUE(window->FrameConnectPort1->Button2->isEnabled());
    EXPECT_TRUE(window->ActionConfig->isEnabled());  // the list holds a port besides "Refresh"
    EXPECT_EQ(LogLines(*window).last(), QString("Connecting %1 port (115200 bod).").arg(peer.Link));
    for (int i = 0; i < 20; ++i) window->FrameConnectPort1->AnswerWaiter->Tick();
    EXPECT_TRUE(LogLines(*window).last().startsWith("No controller answered on " + peer.Link));

    window->ActionDisconnectExecute();
    window->ActionList1.UpdateAll();
    EXPECT_EQ(LogLines(*window).last(), QString("Disconnecting %1 port .").arg(peer.Link));
    EXPECT_TRUE(window->ActionConnect->isEnabled());
    EXPECT_FALSE(window->ActionPing->isEnabled());
}

TEST_F(MainWindow, ConnectToMissingPortLogsWhyAndStaysDisconnected) {
    Show();
    QComboBox* list = window->FrameConnectPort1->ComboBox1;
    list->insertItem(0, "/dev/does-not-exist-vek");
    list->setCurrentIndex(0);
    window->ActionConnectExecute();
    window->ActionList1.UpdateAll();
    EXPECT_FALSE(window->IsConnected());
    const QStringList lines = LogLines(*window);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[lines.size() - 2], "Connecting /dev/does-not-exist-vek port (115200 bod).");
    EXPECT_TRUE(lines.last().startsWith("Cannot open /dev/does-not-exist-vek: no such device"))
        << lines.last().toStdString();
    EXPECT_TRUE(window->ActionConnect->isEnabled());
    EXPECT_TRUE(window->FrameConnectPort1->Connect->isEnabled());
}

TEST_F(MainWindow, LostDeviceBeepsOnceAndFallsBackToDisconnected) {
    TListedPeer peer;
    Connect(peer);
    peer.Peer.Close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return beeps > 0; }));
    ProcessEventsFor(100);
    EXPECT_EQ(beeps, 1);
    EXPECT_FALSE(window->IsConnected());
    EXPECT_TRUE(ProcessEventsUntil([&] { return window->ActionConnect->isEnabled(); }, 2000))
        << "the idle update runs without being asked";
    EXPECT_FALSE(window->ActionPing->isEnabled());
    EXPECT_EQ(LogLines(*window).last(), QString("Port %1 is lost.").arg(peer.Link));
}

TEST_F(MainWindow, FirstStartWithoutIniWritesDefaultsOnClose) {
    Show();
    ASSERT_FALSE(QFile::exists(window->IniPath));
    window->close();
    CSimpleIniA ini;
    ASSERT_EQ(ini.LoadFile(window->IniPath.toLocal8Bit().constData()), SI_OK);
    EXPECT_STREQ(ini.GetValue("Comm", "Name", "?"), "");
    EXPECT_EQ(ini.GetLongValue("Comm", "BaudRate"), 115200);
    EXPECT_EQ(ini.GetLongValue("Comm", "ByteSize"), 8);
    EXPECT_EQ(ini.GetLongValue("Comm", "Parity", -1), 0);
    EXPECT_EQ(ini.GetLongValue("Comm", "StopBits", -1), 0);
    EXPECT_EQ(ini.GetLongValue("Comm", "Flags", -1), 0);
}

TEST_F(MainWindow, IniWithOnlyNameLoadsAndOtherSectionsSurviveClose) {
    TListedPeer peer;
    {
        QFile file(window->IniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            QString("; kept comment\n[Other]\nKey=value\n\n[Comm]\nName=%1\n").arg(peer.Link).toUtf8());
    }
    Show();
    EXPECT_EQ(window->FrameConnectPort1->PortName, peer.Link.toStdString());
    EXPECT_EQ(window->FrameConnectPort1->ComboBox1->currentText(), peer.Link);
    EXPECT_TRUE(window->FrameConnectPort1->LineSettings.Configured());
    EXPECT_EQ(window->FrameConnectPort1->LineSettings.BaudRate, 0u);
    window->ActionConnectExecute();
    EXPECT_TRUE(LogLines(*window).last().startsWith(
        QString("The driver of %1 refused baud rate 0; the line runs at ").arg(peer.Link)));
    window->close();
    CSimpleIniA ini;
    ASSERT_EQ(ini.LoadFile(window->IniPath.toLocal8Bit().constData()), SI_OK);
    EXPECT_STREQ(ini.GetValue("Other", "Key"), "value");
    EXPECT_EQ(ini.GetValue("Comm", "Name"), peer.Link.toStdString());
    EXPECT_EQ(ini.GetLongValue("Comm", "BaudRate", -1), 0);
    QFile file(window->IniPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("; kept comment"));
}

TEST_F(MainWindow, IniThatCannotBeWrittenIsLoggedAndOldFileKept) {
    QDir(dir.path()).mkpath("locked");
    window->IniPath = dir.filePath("locked/vektool.ini");
    {
        QFile file(window->IniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Comm]\nName=old\n");
    }
    Show();
    TReadOnlyFolder locked(dir.filePath("locked"));
    if (!locked.Effective()) GTEST_SKIP() << "this process can write anywhere";
    EXPECT_FALSE(window->SaveIni());
    EXPECT_TRUE(
        LogLines(*window).last().startsWith("Settings file " + window->IniPath + " cannot be written"));
    QFile file(window->IniPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[Comm]\nName=old\n");
}

TEST(MainWindowIni, BesideTheProgramWhenWritableElseConfigFolder) {
    QTemporaryDir dir;
    const QString program = dir.filePath("vektool");
    EXPECT_EQ(TFormMainQox::IniPathFor(program), dir.filePath("vektool.ini"));
    TReadOnlyFolder locked(dir.path());
    if (!locked.Effective()) GTEST_SKIP() << "this process can write anywhere";
    EXPECT_EQ(
        TFormMainQox::IniPathFor(program),
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath("vektool.ini"));
}

TEST_F(MainWindow, LogKeepsNewestLineInViewAndFloatsOnDoubleClick) {
    Show();
    for (int i = 0; i < 300; ++i) window->Log(QString("line %1").arg(i));
    QScrollBar* bar = window->ListBoxLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    QTest::mouseDClick(window->ListBoxLog->viewport(), Qt::LeftButton);
    ASSERT_TRUE(window->LogFloating());
    QWidget* floating = window->ListBoxLog->window();
    EXPECT_NE(floating, window.get());
    EXPECT_TRUE(floating->isVisible());
    window->Log("while floating");
    EXPECT_EQ(LogLines(*window).last(), "while floating");

    floating->close();
    EXPECT_FALSE(window->LogFloating());
    EXPECT_EQ(window->ListBoxLog->parentWidget(), window->GroupBox1);
    EXPECT_TRUE(window->ListBoxLog->isVisible());
    EXPECT_EQ(LogLines(*window).size(), 301);
}

TEST_F(MainWindow, ShortcutsWorkWhereverTheFocusIs) {
    Show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->ListBoxLog->setFocus();
    int connects = 0;
    QObject::connect(window->ActionConnect, &QAction::triggered, [&] { ++connects; });
    window->ActionList1.UpdateAll();
    QTest::keyClick(window->ListBoxLog, Qt::Key_F2);
    EXPECT_EQ(connects, 1);

    struct TSwitch {
        QAction* item;
        Qt::Key key;
    };
    for (const TSwitch& s : {TSwitch{window->ViewNetCAN, Qt::Key_C}, TSwitch{window->ViewUpdateFW, Qt::Key_U},
                             TSwitch{window->ViewFETest, Qt::Key_T}}) {
        EXPECT_FALSE(s.item->isChecked()) << s.item->text().toStdString();
        QTest::keyClick(window->FrameConnectPort1->ComboBox1, s.key, Qt::ControlModifier | Qt::AltModifier);
        EXPECT_TRUE(s.item->isChecked()) << s.item->text().toStdString();
    }

    window->ViewConnection->trigger();
    EXPECT_FALSE(window->GroupBox1->isVisible());
    window->ViewConnection->trigger();
    EXPECT_TRUE(window->GroupBox1->isVisible());
}

TEST(ActionUpdater, RunsHandlersWhileIdleAndForgetsDeletedActions) {
    TActionUpdater updater;
    int runs = 0, gone = 0;
    QAction kept("kept");
    auto* dropped = new QAction("dropped");
    updater.Add(&kept, [&] { ++runs; });
    updater.Add(dropped, [&] { ++gone; });
    delete dropped;
    ASSERT_TRUE(ProcessEventsUntil([&] { return runs >= 2; }, 3000));
    EXPECT_EQ(gone, 0);
}
