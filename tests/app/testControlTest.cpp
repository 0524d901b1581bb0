// The " TEST Control " group on its own, on a recording port: what each tick sends, the variations (the
// record's limits: throttleWaveTest.cpp, and through the whole window: mainQoxTest.cpp), MELODY, the
// slider and its edit, and RUN never surviving a closed port.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "link/zuq.h"
#include "support/recordingLink.h"

namespace {

struct TestControl : ::testing::Test {
    void SetUp() override {
        control.Initialize(
            &port, [this] { return netBit; }, [this] { return limits; }, false);
        control.UpdateActions();
    }
    void PressRun() {
        control.UpdateActions();
        control.ActionRun->trigger();
        ASSERT_TRUE(control.Running());
        ASSERT_TRUE(control.SpeedButton1->isChecked());
    }
    // Runs `count` ticks; the throttle values they sent.
    std::vector<int> Ticks(int count) {
        port.Clear();
        for (int i = 0; i < count; ++i) control.Timer25Timer();
        std::vector<int> values;
        for (const auto& p : port.Packets(zuq::Cmd::Throttle)) {
            EXPECT_EQ(p.Payload.size(), 3u);
            EXPECT_EQ(p.Channel, zuq::ChannelApp | netBit);
            values.push_back(p.Payload[1] | (p.Payload[2] << 8));
        }
        EXPECT_EQ(values.size(), port.Packets().size()) << "a tick sends only Throttle";
        return values;
    }

    TRecordingLink port;
    TTestControl control;
    uint8_t netBit = 0;
    TThrottleLimits limits{40, 950};
};

}  // namespace

TEST_F(TestControl, TicksSendTheThrottleOnlyWhileRunIsDown) {
    control.MaskEditUpDown17->SetValue(12.5);
    control.CheckBox13->setChecked(true);
    EXPECT_TRUE(Ticks(3).empty());
    EXPECT_FALSE(control.Wave.SwitchPhase) << "no tick moved the variation while RUN was up";
    control.CheckBox13->setChecked(false);
    PressRun();
    EXPECT_EQ(Ticks(2), (std::vector<int>{125, 125}));  // 0x7D (the values: throttleWaveTest.cpp)
    netBit = 0x80;  // a controller on the CAN net: the net bit goes into the channel
    EXPECT_EQ(Ticks(1), std::vector<int>{125});
}

TEST_F(TestControl, VariationsFollowTheType) {
    control.MaskEditUpDown17->SetValue(50);
    control.CheckBox13->setChecked(true);
    control.MaskEditUpDown21->SetValue(10);
    PressRun();
    EXPECT_EQ(Ticks(3), (std::vector<int>{450, 550, 450}));
    control.RadioGroup1Buttons->button(2)->click();  // Linear restarts from 0; the Switch phase stays
    EXPECT_EQ(Ticks(4), (std::vector<int>{500, 501, 501, 502}));
    control.RadioGroup1Buttons->button(0)->click();
    EXPECT_EQ(Ticks(1), std::vector<int>{550});
    control.RadioGroup1Buttons->button(1)->click();  // the generator's first values from seed 0
    EXPECT_EQ(Ticks(3), (std::vector<int>{450, 453, 536}));
}

TEST_F(TestControl, AClosedPortReleasesRunForGoodAndMelodyNeedsAnOpenOne) {
    control.ActionMelody->trigger();
    ASSERT_EQ(port.Packets().size(), 1u);
    EXPECT_EQ(port.Packets()[0].Payload, (std::vector<uint8_t>{zuq::Cmd::Melody, 0}));
    EXPECT_FALSE(control.Running()) << "MELODY is independent of RUN";
    control.MaskEditUpDown17->SetValue(30);
    // Closed between two updates, the tick releases RUN; closed and updated, the update does.
    for (bool updateFirst : {false, true}) {
        PressRun();
        port.Open = false;
        if (updateFirst) control.UpdateActions();
        control.Timer25Timer();
        EXPECT_FALSE(control.Running()) << updateFirst;
        EXPECT_FALSE(control.SpeedButton1->isChecked());
        EXPECT_FALSE(control.ActionRun->isEnabled() && updateFirst);
        port.Open = true;
        control.UpdateActions();
        EXPECT_TRUE(Ticks(3).empty()) << "a reconnect does not restart the stream";
    }
    port.Open = false;
    control.UpdateActions();
    EXPECT_FALSE(control.ActionMelody->isEnabled());
    control.ActionMelodyExecute();
    EXPECT_TRUE(port.Packets().empty());
}

TEST_F(TestControl, SliderAndEditsFollowEachOtherAndTheIntervalIsTaken) {
    control.TrackBar1->setValue(125);
    EXPECT_EQ(control.MaskEditUpDown17->text(), QStringLiteral("12.5"));
    control.MaskEditUpDown17->setText(QStringLiteral("30+3.3"));
    QTest::keyClick(control.MaskEditUpDown17, Qt::Key_Return);
    EXPECT_EQ(control.TrackBar1->value(), 333);
    EXPECT_EQ(control.MaskEditUpDown17->text(), QStringLiteral("33.3"));
    for (const auto& [text, interval] : {std::pair{"2*30", 60}, {"3", 10}}) {
        control.MaskEditUpDown30->setText(QString::fromLatin1(text));
        QTest::keyClick(control.MaskEditUpDown30, Qt::Key_Return);
        EXPECT_EQ(control.RunInterval, interval) << text;
    }
}
