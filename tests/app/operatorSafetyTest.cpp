// The motor and the telemetry follow only what the operator asked: a change of the selected controller
// stops the throttle stream, a held key toggles RUN once, a stop takes back waiting throttle packets,
// and telemetry comes only from the selected controller.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "firmware/frameLenkExt.h"
#include "link/zuq.h"
#include "support/windowRig.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

namespace {
using Bytes = std::vector<uint8_t>;
using TKind = TRecordingLink::TKind;

struct OperatorSafety : ::testing::Test, TWindowRig {
    void SetUp() override {
        Show();
        window->FrameVekStat1->Timer1->stop();  // its once-a-second request would mix in
        if (window->GroupBox2->RunThread) window->GroupBox2->RunThread->Stop();  // ticks are stepped here
        window->ViewNetCAN->trigger();
        list = window->FrameLinkScan1->ListView1;
        Packet(0x04, {zuq::Cmd::ScanLinks, 0x05, 0, 0, 0});  // nodes 0 and 2
        ASSERT_EQ(list->count(), 2);
    }
    void TearDown() override { window->close(); }

    void Click(int row) {
        const QPoint at = row < 0 ? QPoint(list->viewport()->width() - 3, list->viewport()->height() - 3)
                                  : list->visualItemRect(list->item(row)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }
    // Node `row` selected, confirmed by the controller, RUN down and one throttle sent to it.
    void RunOn(int row, uint8_t link) {
        Click(row);
        Packet(0x04, {zuq::Cmd::ActiveLink, link});
        window->ActionList1.UpdateAll();
        window->GroupBox2->ActionRun->trigger();
        ASSERT_TRUE(window->GroupBox2->Running());
        port.Clear();
        window->GroupBox2->Timer25Timer();
        ASSERT_EQ(port.Packets(zuq::Cmd::Throttle).size(), 1u);
        EXPECT_EQ(port.Packets(zuq::Cmd::Throttle)[0].Channel, 0x81);
        port.Clear();
    }
    // RUN is up, the waiting throttle was taken back, and a tick sends nothing.
    void ExpectStopped(const char* how) {
        EXPECT_FALSE(window->GroupBox2->Running()) << how;
        EXPECT_FALSE(window->GroupBox2->SpeedButton1->isChecked()) << how;
        bool discarded = false;
        for (const auto& e : port.Events)
            discarded |= e.Kind == TKind::Discard && e.Command() == zuq::Cmd::Throttle;
        EXPECT_TRUE(discarded) << how << "\n" << port.Describe();
        window->GroupBox2->Timer25Timer();
        EXPECT_TRUE(port.Packets(zuq::Cmd::Throttle).empty()) << how << "\n" << port.Describe();
    }

    QListWidget* list = nullptr;
};

TEST_F(OperatorSafety, AnyChangeOfTheSelectedControllerStopsTheThrottleStream) {
    struct {
        const char* how;
        std::function<void(OperatorSafety&)> change;
    } const cases[] = {
        {"click on the other node", [](OperatorSafety& t) { t.Click(0); }},
        {"click on the empty area", [](OperatorSafety& t) { t.Click(-1); }},
        {"arrow key", [](OperatorSafety& t) { QTest::keyClick(t.list, Qt::Key_Left); }},
        {"scan", [](OperatorSafety& t) { t.window->FrameLinkScan1->ActionScan->trigger(); }},
        {"rescan after Detected", [](OperatorSafety& t) { t.Packet(0x04, {zuq::Cmd::Detected}); }},
        {"another link reported",
         [](OperatorSafety& t) {
             t.Packet(0x04, {zuq::Cmd::ActiveLink, 0});
         }},
    };
    for (const auto& c : cases) {
        if (list->count() == 0) Packet(0x04, {zuq::Cmd::ScanLinks, 0x05, 0, 0, 0});
        RunOn(1, 2);
        c.change(*this);
        ExpectStopped(c.how);
    }
}

TEST_F(OperatorSafety, RunWaitsUntilTheControllerConfirmsThePickedNode) {
    // A pick whose SelectLink never reached the controller (the port closed with it still waiting) must
    // not start the node the controller still routes to; nor may a new connection trust an old answer.
    TTestControl* control = window->GroupBox2;
    const auto runs = [&] {
        window->ActionList1.UpdateAll();
        control->ActionRun->trigger();
        control->Timer25Timer();
        const bool sent = !port.Packets(zuq::Cmd::Throttle).empty();
        control->ReleaseRun();
        port.Clear();
        return sent;
    };
    RunOn(1, 2);
    Click(0);
    EXPECT_FALSE(runs()) << "node 0 picked, the controller still on node 2";
    Packet(0x04, {zuq::Cmd::ActiveLink, 0});
    EXPECT_TRUE(runs());
    window->ActionConnectExecute();
    EXPECT_FALSE(runs()) << "connected again, nothing confirmed yet";
    Packet(0x04, {zuq::Cmd::ActiveLink, 0});
    EXPECT_TRUE(runs());
}

TEST_F(OperatorSafety, AChangeOfTheControllerAbandonsAConfigurationTransfer) {
    // The rest of a Flash All for node 2 must not go into the controller that requests reach next.
    TFrameConfigVek* config = window->FrameConfigVek1;
    const std::function<void()> changes[] = {[&] { Click(0); },
                                             [&] {
                                                 Packet(0x04, {zuq::Cmd::ActiveLink, 0});
                                             }};
    for (const auto& change : changes) {
        Click(1);
        Packet(0x04, {zuq::Cmd::ActiveLink, 2});
        window->ActionList1.UpdateAll();
        config->ActionSetAll->trigger();
        ASSERT_TRUE(config->Transfer.Running());
        change();
        port.Clear();
        Packet(0x84, {zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigSet});  // record 0 acknowledged
        EXPECT_FALSE(config->Transfer.Busy());
        EXPECT_TRUE(port.Packets(zuq::Cmd::ConfigFlash).empty()) << port.Describe();
    }
}

TEST_F(OperatorSafety, TheControllerBeingLeftIsToldToStopStreamingFirst) {
    Click(1);  // from the controller on the line to node 2
    std::string sent = port.Take();
    EXPECT_TRUE(sent.starts_with("StatusRequest ch=01 00\n")) << sent;
    Packet(0x04, {zuq::Cmd::ActiveLink, 2});
    port.Clear();
    Click(0);  // from node 2 to node 0: the stop still reaches node 2, before the selection
    sent = port.Take();
    EXPECT_TRUE(sent.starts_with("StatusRequest ch=81 00\n") && sent.ends_with("SelectLink ch=01 00\n"))
        << sent;
}

TEST_F(OperatorSafety, TelemetryIsTakenOnlyFromTheSelectedController) {
    TFrameGraph* graph = window->FrameVekStat1->FrameGraph1;
    Bytes status(30, 0);
    status[0] = zuq::Cmd::Status;
    const auto send = [&](uint8_t channel, uint8_t throttle) {
        status[7] = throttle;  // ThrottleLevel, low byte
        Packet(channel, status);
        return graph->ChannelValue(0);
    };
    EXPECT_DOUBLE_EQ(send(0x04, 100), 10.0);  // the line controller, selected
    EXPECT_DOUBLE_EQ(send(0x84, 200), 10.0);  // a node, not selected
    Click(1);
    Packet(0x04, {zuq::Cmd::ActiveLink, 2});
    EXPECT_DOUBLE_EQ(send(0x04, 50), 10.0);
    EXPECT_DOUBLE_EQ(send(0x84, 200), 20.0);
}

TEST_F(OperatorSafety, HeldKeysToggleOnceAndEveryStopTakesBackWaitingThrottle) {
    Packet(0x04, {zuq::Cmd::ActiveLink, 255});
    window->ActionList1.UpdateAll();
    TTestControl* control = window->GroupBox2;
    QWidget* focus = window->ListBoxLog;
    port.Open = false;  // disconnected, F5 does nothing
    window->ActionList1.UpdateAll();
    QTest::keyClick(focus, Qt::Key_F5);
    EXPECT_FALSE(control->Running());
    port.Open = true;
    window->ActionList1.UpdateAll();
    // Holding F5: one press, many repeats, one release.
    QTest::simulateEvent(focus, true, Qt::Key_F5, {}, {}, false);
    for (int i = 0; i < 5; ++i) QTest::simulateEvent(focus, true, Qt::Key_F5, {}, {}, true);
    QTest::simulateEvent(focus, false, Qt::Key_F5, {}, {}, false);
    EXPECT_TRUE(control->Running());
    QTest::simulateEvent(focus, true, Qt::Key_F9, {}, {}, false);
    for (int i = 0; i < 5; ++i) QTest::simulateEvent(focus, true, Qt::Key_F9, {}, {}, true);
    EXPECT_EQ(port.Packets(zuq::Cmd::Melody).size(), 1u);

    struct {
        const char* how;
        std::function<void()> stop;
    } const stops[] = {
        {"F5", [&] { QTest::keyClick(focus, Qt::Key_F5); }},
        {"Esc", [&] { QTest::keyClick(focus, Qt::Key_Escape); }},
        {"Esc in another window",
         [&] {
             QLineEdit e;
             e.show(), QTest::keyClick(&e, Qt::Key_Escape);
         }},
        {"RUN button", [&] { control->SpeedButton1->click(); }},
        {"window closing", [&] { window->close(); }},
    };
    for (const auto& s : stops) {
        if (!control->Running()) control->ActionRun->trigger();
        ASSERT_TRUE(control->Running()) << s.how;
        port.Clear();
        s.stop();
        ExpectStopped(s.how);
    }
}
}  // namespace
