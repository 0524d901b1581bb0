#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "link/Waiter.h"
#include "firmware/frameLenkExt.h"
#include "link/frameConnect.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
using Bytes = std::vector<uint8_t>;

class FrameLinkScan : public ::testing::Test {
protected:
    void SetUp() override {
        link.InitPort(nullptr, nullptr, nullptr);
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        ASSERT_TRUE(link.IsConnected());
        link.Port()->ActiveLink = 7;
        frame.Initialize(link.Port(), [this](const QString& line) { log.push_back(line.toStdString()); });
        frame.OnLinkChanged = [this](bool active) { changes.push_back(active); };
    }

    bool Reply(Bytes payload) { return frame.HandleReply(payload.data(), uint8_t(payload.size())); }
    std::vector<TPeerPacket> Packets(size_t count) {
        return peer.ReadPackets(count, 3000, [] { QCoreApplication::processEvents(); });
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (int i = 0; i < frame.ListView1->count(); ++i)
            out.push_back(frame.ListView1->item(i)->text().toStdString());
        return out;
    }

    TPtyPeer peer;
    TFrameConnectPort link;
    TFrameLinkScan frame;
    std::vector<std::string> log;
    std::vector<bool> changes;
};

TEST_F(FrameLinkScan, InitializeForgetsTheActiveLink) {
    EXPECT_EQ(link.Port()->ActiveLink, 255);
    EXPECT_EQ(frame.Label25->text(), "NONE");
    EXPECT_EQ(frame.Label2->text(), "UNKNOWN");
    EXPECT_EQ(frame.Label4->text(), "UNKNOWN");
    EXPECT_EQ(frame.ListView1->count(), 0);
}

TEST_F(FrameLinkScan, ScanSendsRequestsAndTheReplyFillsTheList) {
    struct {
        uint32_t mask;
        std::vector<std::string> items;
        std::string line;
    } const cases[] = {
        {0x5, {"Vek#0", "Vek#2"}, "LINK: Scan complete (5)."},
        {0, {}, "LINK: Scan complete (0)."},
        {0x80000001u, {"Vek#0", "Vek#31"}, "LINK: Scan complete (80000001)."},
    };
    for (const auto& c : cases) {
        log.clear();
        frame.ActionScanExecute();
        EXPECT_EQ(log, std::vector<std::string>{"LINK: Starting scan ..."});
        EXPECT_TRUE(frame.Waiter()->Active());
        auto sent = Packets(2);
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].channel, 0x01);
        EXPECT_EQ(sent[0].payload, (Bytes{0x5B, 0xFF}));
        EXPECT_EQ(sent[1].channel, 0x01);
        EXPECT_EQ(sent[1].payload, Bytes{0x5E});
        EXPECT_FALSE(Reply(
            {0x5E, uint8_t(c.mask), uint8_t(c.mask >> 8), uint8_t(c.mask >> 16), uint8_t(c.mask >> 24)}));
        EXPECT_EQ(Captions(), c.items);
        for (int i = 0; i < frame.ListView1->count(); ++i)
            EXPECT_EQ("Vek#" + std::to_string(frame.ListView1->item(i)->data(Qt::UserRole).toInt()),
                      c.items[i]);
        EXPECT_EQ(log.back(), c.line);
        EXPECT_FALSE(frame.Waiter()->Active());
        frame.Waiter()->Tick();  // the cancelled wait ends silently
        EXPECT_FALSE(frame.Waiter()->TimerRunning());
        EXPECT_EQ(log.back(), c.line);
    }
}

TEST_F(FrameLinkScan, ScanWithoutAnswerTimesOutWithPrefix) {
    frame.ActionScanExecute();
    for (int i = 0; i < TFrameLinkScan::ScanTicks - 1; ++i) frame.Waiter()->Tick();
    EXPECT_EQ(log.back(), "LINK: Starting scan ...");
    frame.Waiter()->Tick();
    EXPECT_EQ(log.back(), "LINK: Scan time out.");
    EXPECT_FALSE(frame.Waiter()->Active());
}

TEST_F(FrameLinkScan, ScanWhileClosedDoesNothing) {
    link.ComRW->SetActive(false);
    frame.ActionScanUpdate();
    EXPECT_FALSE(frame.ActionScan->isEnabled());
    frame.ActionScanExecute();
    EXPECT_TRUE(log.empty());
    EXPECT_FALSE(frame.Waiter()->Active());
    // Detected while closed: no scan, still offered to the others.
    EXPECT_TRUE(Reply({0xFE}));
    EXPECT_TRUE(log.empty());
}

TEST_F(FrameLinkScan, ActiveLinkReplies) {
    struct {
        Bytes reply;
        std::string device;
        std::string line;
        uint8_t identifyChannel;
    } const cases[] = {
        {{0x5B, 255}, "NONE", "LINK: No active link", 0x01},
        {{0x5B, 3}, "Vek#3", "LINK: Active link #3.", 0x81},
        {{0x5C, 3}, "Vek#3", "LINK: Active link #3.", 0x81},
        {{0x5C, 255}, "NONE", "LINK: No active link", 0x01},
        {{0x5B, 0}, "Vek#0", "LINK: Active link #0.", 0x81},
    };
    for (const auto& c : cases) {
        frame.Label2->setText("old");
        frame.Label4->setText("old");
        changes.clear();
        EXPECT_FALSE(Reply(c.reply));
        EXPECT_EQ(link.Port()->ActiveLink, c.reply[1]);
        EXPECT_EQ(frame.Label25->text().toStdString(), c.device);
        EXPECT_EQ(frame.Label2->text(), "UNKNOWN");
        EXPECT_EQ(frame.Label4->text(), "UNKNOWN");
        EXPECT_EQ(log.back(), c.line);
        EXPECT_EQ(changes, std::vector<bool>{true});
        auto sent = Packets(1);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].channel, c.identifyChannel);
        EXPECT_EQ(sent[0].payload, Bytes{0x77});
    }
}

TEST_F(FrameLinkScan, IdentityShowsFirmwareAndSerial) {
    Bytes reply(25, 0);
    reply[0] = 0x77;
    reply[1] = '2';
    reply[2] = '.';
    reply[3] = '1';
    reply[21] = 0xEF;
    reply[22] = 0xBE;
    reply[23] = 0xAD;
    reply[24] = 0xDE;
    EXPECT_TRUE(Reply(reply));
    EXPECT_EQ(frame.Label2->text(), "2.1");
    EXPECT_EQ(frame.Label4->text(), "deadbeef");

    // Short reply: the text still shows, the serial reads 0. A text filling all 24 bytes stops there.
    EXPECT_TRUE(Reply({0x77, 'V', '9'}));
    EXPECT_EQ(frame.Label2->text(), "V9");
    EXPECT_EQ(frame.Label4->text(), "0");
    Bytes full(40, 'x');
    full[0] = 0x77;
    EXPECT_TRUE(Reply(full));
    EXPECT_EQ(frame.Label2->text(), QString(24, 'x'));
}

TEST_F(FrameLinkScan, ClicksSelectTheLinkUnderTheMouse) {
    EXPECT_FALSE(Reply({0x5E, 0x24, 0, 0, 0}));  // links 2 and 5
    frame.resize(618, 240);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QListWidgetItem* item = frame.ListView1->item(1);
    ASSERT_EQ(item->text(), "Vek#5");
    frame.Label25->setText("Vek#2");

    const QPoint onItem = frame.ListView1->visualItemRect(item).center();
    QTest::mouseClick(frame.ListView1->viewport(), Qt::LeftButton, {}, onItem);
    EXPECT_EQ(frame.SelectedLink(), 5);
    EXPECT_EQ(frame.Label25->text(), "NONE");
    EXPECT_EQ(changes, std::vector<bool>{false});
    auto sent = Packets(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 0x01);
    EXPECT_EQ(sent[0].payload, (Bytes{0x5B, 5}));

    const QPoint empty(frame.ListView1->viewport()->width() - 3, frame.ListView1->viewport()->height() - 3);
    ASSERT_EQ(frame.ListView1->itemAt(empty), nullptr);
    QTest::mouseClick(frame.ListView1->viewport(), Qt::LeftButton, {}, empty);
    EXPECT_EQ(frame.SelectedLink(), 255);
    EXPECT_TRUE(frame.ListView1->selectedItems().isEmpty());
    sent = Packets(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (Bytes{0x5B, 0xFF}));
}

TEST_F(FrameLinkScan, DetectedStartsAScan) {
    EXPECT_TRUE(Reply({0xFE}));
    EXPECT_EQ(log, std::vector<std::string>{"LINK: Starting scan ..."});
    auto sent = Packets(2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, (Bytes{0x5B, 0xFF}));
    EXPECT_EQ(sent[1].payload, Bytes{0x5E});
}

TEST_F(FrameLinkScan, OnlyActiveLinkAndScanRepliesAreTaken) {
    for (uint8_t code : {0x01, 0x02, 0x04, 0x05, 0x08, 0x09, 0x1A, 0x44, 0x5A, 0x5D, 0xFF})
        EXPECT_TRUE(Reply({code, 1, 2, 3, 4})) << int(code);
    EXPECT_TRUE(Reply({0x77}));
    // Malformed link replies are taken but change nothing.
    link.Port()->ActiveLink = 4;
    EXPECT_FALSE(Reply({0x5B}));
    EXPECT_FALSE(Reply({0x5E, 1, 2}));
    EXPECT_EQ(link.Port()->ActiveLink, 4);
    EXPECT_TRUE(log.empty());
}
}  // namespace
