// Driving the simulated controller: RUN spins its motor and releasing RUN lets it stop by its own
// time-out; the FET test sets its "Test" flag, and no pattern the interlock allows shorts a phase.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QToolButton>
#include <set>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {

constexpr uint8_t FlagStopped = 0x01;
constexpr uint8_t FlagTest = 0x20;
constexpr uint8_t FlagShortCircuit = 0x40;

class TestControlE2e : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim.Started()) << sim.Error();
        link.InitPort([this](const uint8_t* payload, uint8_t length, uint8_t) { OnPacket(payload, length); },
                      {}, {});
        link.ComRW->PortName = sim.PortName();
        link.ComRW->SetActive(true);
        ASSERT_TRUE(link.IsConnected());
    }

    void OnPacket(const uint8_t* payload, uint8_t length) {
        // Status: the command byte, then the 29-byte record (AvgSpeed at 12, Flags at 18).
        if (length < 1 + 29 || payload[0] != zuq::Cmd::Status) return;
        speed = payload[1 + 12] | (payload[1 + 13] << 8);
        flags = payload[1 + 18];
        ++statusCount;
    }

    // One status reply, after everything sent before it has been handled by the controller.
    bool PollStatus() {
        const int before = statusCount;
        link.ComRW->SendCommandByte(zuq::ChannelApp, zuq::Cmd::StatusRequest, 0);
        return ProcessEventsUntil([&] { return statusCount > before; }, 10000);
    }

    TSimProcess sim;
    TFrameConnectPort link;
    int speed = 0;
    uint8_t flags = 0;
    int statusCount = 0;
};

// Every pattern the operator can reach through the lists, starting from all OFF.
std::set<TFetStates> ReachablePatterns() {
    std::set<TFetStates> seen{TFetStates{}};
    std::vector<TFetStates> todo{TFetStates{}};
    while (!todo.empty()) {
        const TFetStates from = todo.back();
        todo.pop_back();
        for (int sender = 0; sender < 6; ++sender)
            for (int state = 0; state < 3; ++state) {
                TFetStates next = from;
                next[size_t(sender)] = state;
                ApplyFetInterlock(next, sender);
                if (seen.insert(next).second) todo.push_back(next);
            }
    }
    return seen;
}

}  // namespace

TEST_F(TestControlE2e, RunSpinsTheMotorAndReleaseLetsItStop) {
    TTestControl control;
    control.Initialize(link.Port(), {}, {});
    control.MaskEditUpDown17->SetValue(30);
    control.UpdateActions();
    ASSERT_TRUE(PollStatus());
    EXPECT_EQ(speed, 0);
    EXPECT_TRUE(flags & FlagStopped);

    control.ActionRun->trigger();
    ASSERT_TRUE(control.Running());
    EXPECT_TRUE(ProcessEventsUntil(
        [&] {
            PollStatus();
            return speed > 1000;
        },
        30000))
        << "speed " << speed;

    // No stop command: the stream ends and the controller's time-out stops the motor.
    control.ReleaseRun();
    EXPECT_TRUE(ProcessEventsUntil(
        [&] {
            PollStatus();
            return speed == 0 && (flags & FlagStopped);
        },
        30000))
        << "speed " << speed;
    control.Shutdown();
}

TEST_F(TestControlE2e, FetTestSetsTheTestFlag) {
    TFrameFETest frame;
    frame.Initialize(link.Port(), {});
    frame.SetStates({FetOn, FetOff, FetOff, FetOff, FetPwm, FetOff});
    frame.MaskEditUpDown1->SetValue(12.5);
    frame.MaskEditUpDown2->SetValue(3000);
    frame.SpeedButton1->click();
    ASSERT_TRUE(PollStatus());
    EXPECT_TRUE(flags & FlagTest);
    EXPECT_FALSE(flags & FlagShortCircuit);
}

TEST_F(TestControlE2e, NoPatternTheInterlockAllowsShortsAPhase) {
    // The check can fail: a pattern with both switches of phase A ON, sent around the interlock.
    const uint8_t shorting[6] = {0x10, 0x04, 0x0A, 0x00, 0x0A, 0x00};
    link.ComRW->SendCommandData(zuq::ChannelApp, zuq::Cmd::FetTest, shorting, 6);
    ASSERT_TRUE(PollStatus());
    ASSERT_TRUE(flags & FlagShortCircuit);

    TFrameFETest frame;
    frame.Initialize(link.Port(), {});
    frame.MaskEditUpDown2->SetValue(10);
    const std::set<TFetStates> patterns = ReachablePatterns();
    EXPECT_GT(patterns.size(), 30u);
    for (const TFetStates& states : patterns) {
        frame.SetStates(states);
        frame.SpeedButton1->click();
        ASSERT_TRUE(PollStatus());
        EXPECT_FALSE(flags & FlagShortCircuit) << std::hex << FetPatternWord(states);
    }
}
