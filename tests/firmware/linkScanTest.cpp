// The link scan unit, driven synchronously (reply or tick in, packets, log and state out), and what its
// frame adds: picking a link by mouse or keyboard, and the labels.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QTest>

#include "firmware/frameLenkExt.h"
#include "firmware/linkScan.h"
#include "support/recordingLink.h"

namespace {
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using TState = TLinkScan::TState;

// The unit inside its frame, so that one table shows packets, log lines and what the frame shows.
struct LinkScan : ::testing::Test {
    LinkScan() {
        port.ActiveLink = 7;  // forgotten by Initialize
        frame.Initialize(&port, [this](const QString& line) { log.push_back(line.toStdString()); });
        frame.OnLinkChanged = [this](bool active) { linkChanged.push_back(active); };
        QObject::connect(frame.ListView1, &QListWidget::itemSelectionChanged, [this] { ++selectionChanges; });
    }
    bool Reply(Bytes payload) { return frame.HandleReply(payload.data(), uint8_t(payload.size())); }
    std::string Shown() const {  // active device, firmware, serial, then the list
        QString text = frame.Label25->text() + " " + frame.Label2->text() + " " + frame.Label4->text() + " |";
        for (int i = 0; i < frame.ListView1->count(); ++i) text += " " + frame.ListView1->item(i)->text();
        return text.toStdString();
    }

    TRecordingLink port;
    TFrameLinkScan frame;
    Lines log;
    std::vector<bool> linkChanged;
    int selectionChanges = 0;
};

TEST_F(LinkScan, DetectedScansAndTheAnswerListsTheLinks) {
    EXPECT_EQ(port.ActiveLink, 255);
    TLinkScan& unit = *frame.Scan;
    const std::tuple<uint32_t, std::string, std::string> cases[] = {
        {0x5, "Vek#0 Vek#2", "5"}, {0, "", "0"}, {0x80000001u, "Vek#0 Vek#31", "80000001"}};
    for (const auto& [mask, links, hex] : cases) {
        log.clear();
        EXPECT_TRUE(Reply({0xFE}));  // scans as SCAN does, and goes on to the other frames
        EXPECT_EQ(port.Take(), "SelectLink ch=01 ff\nScanLinks ch=01\n");
        EXPECT_FALSE(
            Reply({0x5E, uint8_t(mask), uint8_t(mask >> 8), uint8_t(mask >> 16), uint8_t(mask >> 24)}));
        EXPECT_EQ(Shown(), "NONE UNKNOWN UNKNOWN |" + (links.empty() ? "" : " " + links));
        EXPECT_EQ(log, (Lines{"LINK: Starting scan ...", "LINK: Scan complete (" + hex + ")."}));
        EXPECT_EQ(unit.State(), TState::Done);
        for (int i = 0; i < TLinkScan::ScanTicks; ++i) unit.Waiter().Tick();  // cancelled: silent
        EXPECT_EQ(log.size(), 2u);
    }
    EXPECT_TRUE(unit.Scan());
    for (int i = 1; i < TLinkScan::ScanTicks; ++i) unit.Waiter().Tick();
    EXPECT_EQ(unit.State(), TState::Scanning);
    unit.Waiter().Tick();
    EXPECT_EQ(log.back(), "LINK: Scan time out.");
    EXPECT_EQ(unit.State(), TState::TimedOut);
    port.Open = false;
    EXPECT_FALSE(unit.Scan());
    EXPECT_EQ(port.Take(), "SelectLink ch=01 ff\nScanLinks ch=01\n");  // the timed-out scan's, nothing since
}

TEST_F(LinkScan, ActiveLinkIsKeptShownAndItsIdentityAsked) {
    const std::tuple<Bytes, std::string, std::string, std::string> cases[] = {
        {{0x5B, 3}, "Active link #3.", "Identify ch=81\n", "Vek#3"},
        {{0x5B, 255}, "No active link", "Identify ch=01\n", "NONE"},
        {{0x5C, 0}, "Active link #0.", "Identify ch=81\n", "Vek#0"},
    };
    for (const auto& [reply, line, identify, device] : cases) {
        linkChanged.clear();
        EXPECT_TRUE(Reply({0x77, '2', '.', '1', 0, 0, 0, 0, 0,    0,    0,    0,   0,
                           0,    0,   0,   0,   0, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE}));
        EXPECT_EQ(Shown().substr(Shown().find(' ')), " 2.1 deadbeef |");
        EXPECT_FALSE(Reply(reply));
        EXPECT_EQ(port.ActiveLink, reply[1]);
        EXPECT_FALSE(frame.Scan->IdentityKnown());
        EXPECT_EQ(Shown(), device + " UNKNOWN UNKNOWN |");
        EXPECT_EQ(linkChanged, std::vector<bool>{true});
        EXPECT_EQ(log.back(), "LINK: " + line);
        EXPECT_EQ(port.Take(), identify);
    }
    // Replies too short for their argument are taken and change nothing; others go on.
    EXPECT_FALSE(Reply({0x5B}));
    EXPECT_FALSE(Reply({0x5E, 1, 2}));
    EXPECT_EQ(port.ActiveLink, 0);
    for (uint8_t code : {0x02, 0x04, 0x08, 0x1A, 0x44, 0xFF}) EXPECT_TRUE(Reply({code, 1, 2, 3, 4}));
    EXPECT_EQ(port.Take(), "");
}

TEST_F(LinkScan, EveryWayOfPickingALinkSelectsItAndEveryChangeIsSignalled) {
    Reply({0x5E, 0x25, 0, 0, 0});
    QListWidget* list = frame.ListView1;
    frame.resize(618, 240);
    frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    const auto click = [&](QPoint at) { QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at); };
    const QPoint empty(list->viewport()->width() - 3, list->viewport()->height() - 3);
    const auto item = [&](int n) { return [&, n] { click(list->visualItemRect(list->item(n)).center()); }; };
    const auto key = [&](Qt::Key k) { return [&, k] { QTest::keyClick(list, k); }; };
    const std::tuple<std::function<void()>, std::string, int> steps[] = {
        // what is sent, selection changes
        {item(1), "SelectLink ch=01 02\n", 1},
        {item(1), "SelectLink ch=01 02\n", 0},
        {key(Qt::Key_Right), "SelectLink ch=01 05\n", 1},
        {key(Qt::Key_V), "SelectLink ch=01 00\n", 1},  // type-ahead: the next "V..." after Vek#5
        {[&] { click(empty); }, "SelectLink ch=01 ff\n", 1},
        {item(0), "SelectLink ch=01 00\n", 1},
        {[&] { frame.ActionScanExecute(); }, "SelectLink ch=01 ff\nScanLinks ch=01\n", 1},
    };
    for (const auto& [pick, sent, changes] : steps) {
        port.Clear(), linkChanged.clear(), selectionChanges = 0;
        pick();
        EXPECT_EQ(port.Describe(), sent);
        EXPECT_EQ(selectionChanges, changes) << sent;
        const bool picked = sent.find("Scan") == std::string::npos;  // the operator's pick, not a scan
        EXPECT_EQ(linkChanged, picked ? std::vector<bool>{false} : std::vector<bool>{}) << sent;
    }
    EXPECT_EQ(frame.SelectedLink(), 255);
}
}  // namespace
