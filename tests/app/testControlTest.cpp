// The " TEST Control " group against a pseudo-terminal peer: the exact Throttle and Melody packets,
// RUN and the connection, Esc, and the slider and edits kept in step.
#include <gtest/gtest.h>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {

class TestControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        link.InitPort({}, {}, {});
        Connect();
        control.Initialize(link.Port(), [this]() { return netBit; }, [this]() { return limits; }, false);
        control.UpdateActions();
    }

    void Connect() {
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        ASSERT_TRUE(link.IsConnected());
    }

    void PressRun() {
        control.UpdateActions();
        ASSERT_TRUE(control.ActionRun->isEnabled());
        ASSERT_FALSE(control.Running());
        control.ActionRun->trigger();
        ASSERT_TRUE(control.Running());
        ASSERT_TRUE(control.SpeedButton1->isChecked());
    }

    // Runs `count` ticks and returns the throttle values that reached the peer.
    std::vector<int> Ticks(int count) {
        for (int i = 0; i < count; ++i) control.Timer25Timer();
        return Values(peer.Drain(100));
    }

    static std::vector<int> Values(const std::vector<TPeerPacket>& packets) {
        std::vector<int> values;
        for (const TPeerPacket& p : packets) {
            EXPECT_EQ(p.payload.size(), 3u);
            EXPECT_EQ(p.payload[0], 0x46);
            if (p.payload.size() == 3) values.push_back(p.payload[1] | (p.payload[2] << 8));
        }
        return values;
    }

    TPtyPeer peer;
    TFrameConnectPort link;
    TTestControl control;
    uint8_t netBit = 0;
    TThrottleLimits limits{40, 950};
};

}  // namespace

TEST_F(TestControlTest, NothingIsSentWhileRunIsUp) {
    control.MaskEditUpDown17->SetValue(50);
    control.CheckBox13->setChecked(true);
    for (int type = 0; type < 3; ++type) {
        control.RadioGroup1Buttons->button(type)->click();
        EXPECT_TRUE(Ticks(3).empty()) << type;
    }
    EXPECT_FALSE(control.Wave.SwitchPhase);  // no tick moved the variation either
}

TEST_F(TestControlTest, ThrottlePacketsOnEveryTick) {
    control.MaskEditUpDown17->SetValue(12.5);
    PressRun();
    for (int i = 0; i < 3; ++i) control.Timer25Timer();
    const std::vector<TPeerPacket> packets = peer.Drain(100);
    ASSERT_EQ(packets.size(), 3u);
    for (const TPeerPacket& p : packets) {
        EXPECT_EQ(p.channel, 0x01);
        EXPECT_EQ(p.payload, (std::vector<uint8_t>{0x46, 0x7D, 0x00}));
    }
    // No clamping while "Dinamic" is unchecked, even below the record's minimum.
    control.MaskEditUpDown17->SetValue(2);
    EXPECT_EQ(Ticks(1), std::vector<int>{20});
    // A controller on the CAN net: the net bit goes into the channel.
    netBit = 0x80;
    control.Timer25Timer();
    const std::vector<TPeerPacket> net = peer.Drain(100);
    ASSERT_EQ(net.size(), 1u);
    EXPECT_EQ(net[0].channel, 0x81);
}

TEST_F(TestControlTest, DynamicVariationsWithinTheRecordLimits) {
    control.MaskEditUpDown17->SetValue(50);
    control.CheckBox13->setChecked(true);
    control.MaskEditUpDown21->SetValue(10);
    PressRun();
    EXPECT_EQ(Ticks(3), (std::vector<int>{450, 550, 450}));

    // Linear restarts from position 0 when the type is chosen; the Switch phase stays.
    control.RadioGroup1Buttons->button(2)->click();
    EXPECT_EQ(Ticks(4), (std::vector<int>{500, 501, 501, 502}));
    control.RadioGroup1Buttons->button(0)->click();
    EXPECT_EQ(control.Wave.LinearPosition, 0);
    EXPECT_EQ(Ticks(1), std::vector<int>{550});  // the phase left by the third tick

    // Random: the generator's first values from seed 0.
    control.RadioGroup1Buttons->button(1)->click();
    EXPECT_EQ(Ticks(3), (std::vector<int>{450, 453, 536}));

    // Limits: below min_PWM sends 0, above max_PWM sends max_PWM.
    control.RadioGroup1Buttons->button(0)->click();
    limits = {460, 520};
    EXPECT_EQ(Ticks(2), (std::vector<int>{0, 520}));
}

TEST_F(TestControlTest, F5AndEscapeFromAnywhereInTheWindow) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    layout->addWidget(other);
    control.setParent(&window);
    layout->addWidget(&control);
    window.addAction(control.ActionRun);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus();

    // Disconnected: F5 does nothing.
    link.ComRW->SetActive(false);
    control.UpdateActions();
    QTest::keyClick(other, Qt::Key_F5);
    EXPECT_FALSE(control.Running());

    Connect();
    control.UpdateActions();
    QTest::keyClick(other, Qt::Key_F5);
    EXPECT_TRUE(control.Running());

    // Esc in the throttle edit, in another edit and in another window releases RUN.
    control.MaskEditUpDown17->setFocus();
    QTest::keyClick(control.MaskEditUpDown17, Qt::Key_Escape);
    EXPECT_FALSE(control.Running());
    QTest::keyClick(other, Qt::Key_F5);
    ASSERT_TRUE(control.Running());
    QTest::keyClick(other, Qt::Key_Escape);
    EXPECT_FALSE(control.Running());
    control.ActionRun->trigger();
    ASSERT_TRUE(control.Running());
    QLineEdit floating;
    floating.show();
    QTest::keyClick(&floating, Qt::Key_Escape);
    EXPECT_FALSE(control.Running());
    control.setParent(nullptr);
}

TEST_F(TestControlTest, LostConnectionReleasesRunForGood) {
    control.MaskEditUpDown17->SetValue(30);
    PressRun();
    EXPECT_EQ(Ticks(1), std::vector<int>{300});

    // Closed between two updates: the next tick releases RUN itself.
    link.ComRW->SetActive(false);
    control.Timer25Timer();
    EXPECT_FALSE(control.Running());
    Connect();
    control.UpdateActions();
    EXPECT_TRUE(control.ActionRun->isEnabled());
    EXPECT_FALSE(control.Running());
    EXPECT_TRUE(Ticks(3).empty());

    // Closed and the actions updated first.
    PressRun();
    link.ComRW->SetActive(false);
    control.UpdateActions();
    EXPECT_FALSE(control.Running());
    EXPECT_FALSE(control.SpeedButton1->isChecked());
    EXPECT_FALSE(control.ActionRun->isEnabled());
    EXPECT_FALSE(control.SpeedButton1->isEnabled());
    Connect();
    control.UpdateActions();
    EXPECT_TRUE(Ticks(3).empty());

    // The device goes away: same.
    PressRun();
    peer.Close();
    ASSERT_TRUE(ProcessEventsUntil([&] { return !link.IsConnected(); }, 10000));
    control.UpdateActions();
    EXPECT_FALSE(control.Running());
}

TEST_F(TestControlTest, MelodyOnlyWhileConnected) {
    control.ActionMelody->trigger();
    std::vector<TPeerPacket> packets = peer.Drain(100);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].channel, 0x01);
    EXPECT_EQ(packets[0].payload, (std::vector<uint8_t>{0x91, 0x00}));
    EXPECT_FALSE(control.Running());  // independent of RUN

    link.ComRW->SetActive(false);
    control.UpdateActions();
    EXPECT_FALSE(control.ActionMelody->isEnabled());
    control.ActionMelodyExecute();
    Connect();
    EXPECT_TRUE(peer.Drain(100).empty());
}

TEST_F(TestControlTest, SliderAndEditsInStep) {
    control.TrackBar1->setValue(125);
    EXPECT_EQ(control.MaskEditUpDown17->text(), QStringLiteral("12.5"));
    control.MaskEditUpDown17->setText(QStringLiteral("30+3.3"));
    QTest::keyClick(control.MaskEditUpDown17, Qt::Key_Return);
    EXPECT_EQ(control.TrackBar1->value(), 333);
    EXPECT_EQ(control.MaskEditUpDown17->text(), QStringLiteral("33.3"));

    EXPECT_EQ(control.RunInterval, 50);
    control.MaskEditUpDown30->setText(QStringLiteral("2*30"));
    QTest::keyClick(control.MaskEditUpDown30, Qt::Key_Return);
    EXPECT_EQ(control.RunInterval, 60);
    control.MaskEditUpDown30->setText(QStringLiteral("3"));
    QTest::keyClick(control.MaskEditUpDown30, Qt::Key_Return);
    EXPECT_EQ(control.RunInterval, 10);
}

TEST(TestControlPacing, ThreadPacesTheStreamAndShutdownEndsIt) {
    TPtyPeer peer;
    TFrameConnectPort link;
    link.InitPort({}, {}, {});
    link.ComRW->PortName = peer.SlaveName();
    link.ComRW->SetActive(true);
    ASSERT_TRUE(link.IsConnected());
    TTestControl control;
    control.Initialize(link.Port(), {}, {});
    ASSERT_TRUE(control.RunThread);
    control.MaskEditUpDown17->SetValue(25);
    control.UpdateActions();
    control.ActionRun->trigger();
    const std::vector<TPeerPacket> packets = peer.ReadPackets(5, 30000, [] { ProcessEventsFor(5); });
    ASSERT_EQ(packets.size(), 5u);
    for (const TPeerPacket& p : packets) EXPECT_EQ(p.payload, (std::vector<uint8_t>{0x46, 0xFA, 0x00}));

    // Closing: RUN released and the thread stopped before the port goes; nothing follows.
    control.Shutdown();
    EXPECT_FALSE(control.Running());
    EXPECT_FALSE(control.RunThread);
    peer.Drain(100, [] { ProcessEventsFor(5); });
    ProcessEventsFor(300);
    EXPECT_TRUE(peer.Drain(100, [] { ProcessEventsFor(5); }).empty());
}
