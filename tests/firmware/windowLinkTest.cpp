// The link scan and firmware frames inside the main window: dispatch, net bit, menus and switches.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/mainQox.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "link/simPortFolder.h"
#include "telemetry/frameVekStatus.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct LinkWindow : ::testing::Test {
    void SetUp() override {
        QDir().mkpath(QString::fromStdString(SimPortFolder()));
        link = QDir(QString::fromStdString(SimPortFolder())).filePath("simFW");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(QString::fromStdString(peer.SlaveName()), link));
        window = std::make_unique<TFormMainQox>();
        window->IniPath = dir.filePath("vektool.ini");
        window->Beep = [] {};
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        window->FrameVekStat1->Timer1->stop();  // its one-second status requests would mix in
        window->FrameConnectPort1->RefreshPorts();
        QComboBox* list = window->FrameConnectPort1->ComboBox1;
        list->setCurrentIndex(list->findText(link));
        window->ActionConnectExecute();
        ASSERT_TRUE(window->IsConnected());
        peer.Drain(50);  // the Detect that connecting sends
        // Every frame after the link scan records what it was offered.
        const auto firmware = window->FirmwareReply;
        window->FirmwareReply = [this, firmware](const uint8_t* p, uint8_t n) {
            offered.push_back('F');
            return firmware(p, n);
        };
        window->ConfigReply = [this](const uint8_t*, uint8_t) {
            offered.push_back('C');
            return true;
        };
        window->StatusReply = [this](const uint8_t*, uint8_t) {
            offered.push_back('S');
            return true;
        };
    }
    void TearDown() override { QFile::remove(link); }

    void Packet(uint8_t channel, Bytes payload) {
        window->OnPacket(payload.data(), uint8_t(payload.size()), channel);
    }
    QString LastLog() const { return window->ListBoxLog->toPlainText().split('\n').last(); }
    std::vector<TPeerPacket> Packets(size_t count) {
        return peer.ReadPackets(count, 3000, [] { QCoreApplication::processEvents(); });
    }

    QTemporaryDir dir;
    TPtyPeer peer;
    QString link;
    std::unique_ptr<TFormMainQox> window;
    std::string offered;
};

TEST_F(LinkWindow, LinkRepliesStopAtTheLinkScanOthersGoOn) {
    struct {
        uint8_t channel;
        Bytes payload;
        std::string offered;
    } const cases[] = {
        {0x04, {0x5B, 255}, ""},        {0x84, {0x5C, 3}, ""},
        {0x04, {0x5E, 5, 0, 0, 0}, ""}, {0x84, {0x77, '2', '.', '1'}, "SFC"},
        {0x04, {0xFE}, "FCS"},          {0x04, {0x1A, 0}, "FCS"},
        {0x84, {0x02}, "SFC"},
    };
    for (const auto& c : cases) {
        offered.clear();
        Packet(c.channel, c.payload);
        EXPECT_EQ(offered, c.offered) << std::hex << int(c.payload[0]) << " on " << int(c.channel);
    }
    // The Detected above started a scan of its own.
    EXPECT_TRUE(window->ListBoxLog->toPlainText().contains("LINK: Starting scan ..."));
    // An identity on 0x04 is the window's, and the link scan shows it too.
    Bytes identity(25, 0);
    identity[0] = 0x77;
    identity[1] = '1';
    identity[21] = 0x78;
    identity[22] = 0x56;
    identity[23] = 0x34;
    identity[24] = 0x12;
    offered.clear();
    Packet(0x04, identity);
    EXPECT_EQ(offered, "");
    EXPECT_EQ(window->windowTitle(), "Vek Tool [FW:1  SN:12345678]");
    EXPECT_EQ(window->FrameLinkScan1->Label4->text(), "12345678");
}

TEST_F(LinkWindow, ListSelectionDrivesTheNetBit) {
    window->ViewNetCAN->trigger();
    ASSERT_TRUE(window->FrameLinkScan1->isVisible());
    Packet(0x04, {0x5E, 0x05, 0, 0, 0});
    QListWidget* list = window->FrameLinkScan1->ListView1;
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(window->NetBit, 0);
    peer.Drain(30);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(window->NetBit, 0x80);
    EXPECT_EQ(window->FrameUpdateFW1->NetBit, 0x80);
    // The controller being left stops streaming first; the click pauses the polling with the net bit
    // already set, then asks for link 2.
    auto sent = Packets(3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].channel, 0x01);
    EXPECT_EQ(sent[0].payload, (Bytes{0x33, 0}));
    EXPECT_EQ(sent[1].channel, 0x81);
    EXPECT_EQ(sent[1].payload, (Bytes{0x33, 0}));
    EXPECT_EQ(sent[2].channel, 0x01);
    EXPECT_EQ(sent[2].payload, (Bytes{0x5B, 2}));

    // The controller confirms: the active link shows in the prefixes, identity asked over the net.
    Packet(0x04, {0x5B, 2});
    EXPECT_EQ(window->FrameConnectPort1->Port()->ActiveLink, 2);
    EXPECT_EQ(window->FrameLinkScan1->Label25->text(), "Vek#2");
    EXPECT_EQ(LastLog(), "LINK: Active link #2.");
    window->FrameUpdateFW1->LogLine("probe");
    EXPECT_EQ(LastLog(), "Vek#2: probe");
    sent = Packets(2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].channel, 0x81);
    EXPECT_EQ(sent[0].payload, Bytes{0x77});
    // Link confirmed and the status frame's UPDATE down: polling resumes at its refresh rate.
    EXPECT_EQ(sent[1].payload, (Bytes{0x33, 20}));

    const QPoint empty(list->viewport()->width() - 3, list->viewport()->height() - 3);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(window->NetBit, 0);
    EXPECT_EQ(window->FrameUpdateFW1->NetBit, 0);
    sent = Packets(3);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].channel, 0x81);  // the node being left stops streaming
    EXPECT_EQ(sent[0].payload, (Bytes{0x33, 0}));
    EXPECT_EQ(sent[2].payload, (Bytes{0x5B, 0xFF}));
    // A new scan empties the list, and with it the selection and the net bit.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(window->NetBit, 0x80);
    Packet(0x04, {0x5E, 0, 0, 0, 0});
    EXPECT_EQ(window->NetBit, 0);
}

TEST_F(LinkWindow, MenusAndSwitches) {
    QStringList firmware;
    for (QAction* a : window->MenuFirmware->actions()) firmware << a->text();
    EXPECT_EQ(firmware, (QStringList{"Open FW", "Update FW", "Reset"}));
    EXPECT_EQ(window->FrameUpdateFW1->ActionReset->statusTip(), "Reset device");
    window->ActionList1.UpdateAll();
    EXPECT_FALSE(window->FrameUpdateFW1->ActionUpdateFW->isEnabled());
    EXPECT_TRUE(window->FrameUpdateFW1->ActionReset->isEnabled());
    EXPECT_TRUE(window->FrameLinkScan1->ActionScan->isEnabled());

    // The link scan is hidden at start; the firmware group shows while its switch starts unticked.
    EXPECT_FALSE(window->FrameLinkScan1->isVisible());
    QGroupBox* group = window->FrameUpdateFW1->GroupBox1;
    EXPECT_TRUE(group->isVisible());
    EXPECT_FALSE(window->ViewUpdateFW->isChecked());
    window->ViewUpdateFW->trigger();
    EXPECT_TRUE(group->isVisible());
    window->ViewUpdateFW->trigger();
    EXPECT_FALSE(group->isVisible());
    QTest::keyClick(window->ListBoxLog, Qt::Key_U, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(group->isVisible());

    window->ActionDisconnectExecute();
    window->ActionList1.UpdateAll();
    EXPECT_FALSE(window->FrameUpdateFW1->ActionReset->isEnabled());
    EXPECT_FALSE(window->FrameLinkScan1->ActionScan->isEnabled());
}
}  // namespace
