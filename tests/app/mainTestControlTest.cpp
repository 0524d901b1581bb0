// The test control and the FET test inside the main window: menus, shortcuts, the record whose limits
// the tick uses, and what closing and disconnecting do to a running throttle stream.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "link/frameConnect.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {

struct MainTestControl : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        window = std::make_unique<TFormMainQox>();
        window->IniPath = dir.filePath("vektool.ini");
        window->Beep = [] {};
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        control = window->GroupBox2;
    }
    void Connect() {
        window->FrameConnectPort1->ComRW->PortName = peer.SlaveName();
        window->FrameConnectPort1->ComRW->SetActive(true);
        ASSERT_TRUE(window->IsConnected());
        window->UpdateControls();
    }
    std::vector<TPeerPacket> Throttles(int settleMs = 100) {
        std::vector<TPeerPacket> throttles;
        for (TPeerPacket& p : peer.Drain(settleMs, [] { ProcessEventsFor(5); }))
            if (!p.payload.empty() && p.payload[0] == 0x46) throttles.push_back(std::move(p));
        return throttles;
    }

    TPtyPeer peer;
    QTemporaryDir dir;
    std::unique_ptr<TFormMainQox> window;
    TTestControl* control = nullptr;
};

}  // namespace

TEST_F(MainTestControl, MenusViewSwitchesAndShortcuts) {
    EXPECT_EQ(window->MenuControl->actions(), (QList<QAction*>{control->ActionRun, control->ActionMelody}));
    EXPECT_TRUE(control->isVisible());
    EXPECT_FALSE(window->FrameFETest1->isVisible());
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));

    QTest::keyClick(window.get(), Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(window->FrameFETest1->isVisible());
    EXPECT_TRUE(window->ViewFETest->isChecked());
    window->ViewTestControl->trigger();
    EXPECT_FALSE(control->isVisible());
    window->ViewTestControl->trigger();
    EXPECT_TRUE(control->isVisible());

    // F5 from the log: nothing while disconnected, RUN while connected; Esc from the config frame.
    window->ListBoxLog->setFocus();
    QTest::keyClick(window->ListBoxLog, Qt::Key_F5);
    EXPECT_FALSE(control->Running());
    Connect();
    QTest::keyClick(window->ListBoxLog, Qt::Key_F5);
    EXPECT_TRUE(control->Running());
    QTest::keyClick(window->FrameConfigVek1->MaskEditUpDown2, Qt::Key_Escape);
    EXPECT_FALSE(control->Running());
}

TEST_F(MainTestControl, TickUsesTheLimitsOfTheRecordInUse) {
    control->RunThread->Stop();  // ticks by hand only
    Connect();
    window->FrameConfigVek1->Records[5].min_PWM = 460;
    window->FrameConfigVek1->Records[5].max_PWM = 520;
    window->FrameConfigVek1->MaskEditUpDown2->SetValue(5);
    control->MaskEditUpDown17->SetValue(50);
    control->CheckBox13->setChecked(true);
    control->ActionRun->trigger();
    ASSERT_TRUE(control->Running());
    control->Timer25Timer();
    control->Timer25Timer();
    std::vector<TPeerPacket> sent = Throttles();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{0x46, 0x00, 0x00}));  // 450 < 460
    EXPECT_EQ(sent[1].payload, (std::vector<uint8_t>{0x46, 0x08, 0x02}));  // 550 > 520

    // Record 0 keeps its defaults, 40 and 950.
    window->FrameConfigVek1->MaskEditUpDown2->SetValue(0);
    control->Timer25Timer();
    sent = Throttles();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{0x46, 0xC2, 0x01}));  // 450
}

TEST_F(MainTestControl, DisconnectReleasesRunAndReconnectDoesNotResume) {
    Connect();
    control->MaskEditUpDown17->SetValue(30);
    control->ActionRun->trigger();
    EXPECT_EQ(peer.ReadPackets(2, 20000, [] { ProcessEventsFor(5); }).size(), 2u);
    window->ActionDisconnectExecute();
    EXPECT_FALSE(control->Running());
    EXPECT_FALSE(control->ActionRun->isEnabled());
    Connect();
    window->ActionList1.UpdateAll();
    EXPECT_TRUE(control->ActionRun->isEnabled());
    EXPECT_FALSE(control->Running());
    Throttles();
    ProcessEventsFor(300);  // several intervals
    EXPECT_TRUE(Throttles().empty());
}

TEST_F(MainTestControl, ClosingStopsTheStreamBeforeThePortCloses) {
    Connect();
    control->MaskEditUpDown17->SetValue(30);
    control->ActionRun->trigger();
    EXPECT_EQ(peer.ReadPackets(2, 20000, [] { ProcessEventsFor(5); }).size(), 2u);
    window->close();
    EXPECT_FALSE(control->Running());
    EXPECT_FALSE(control->RunThread);
    EXPECT_TRUE(window->IsConnected());  // the port is still open here, and nothing more is queued
    Throttles();
    ProcessEventsFor(300);
    EXPECT_TRUE(Throttles().empty());
    window.reset();
}
