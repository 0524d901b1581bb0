// An operator's session against vek-sim: start connected from the command line, identified and
// streaming; ping; RUN spins the motor and releasing it lets the motor stop; the FET test never
// shorts a phase; an unplugged adapter is lost once and a new one connects.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QToolButton>
#include <set>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "fettest/frameVekfetest.h"
#include "link/comLink.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"
#include "windowSim.h"

namespace {
constexpr uint8_t FlagStopped = 0x01;
constexpr uint8_t FlagTest = 0x20;
constexpr uint8_t FlagShortCircuit = 0x40;
const QString Identity = QStringLiteral("Vek Tool [FW:VekSim 1.0  SN:5e000001]");

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

TEST(SessionE2e, StartsConnectedIdentifiedAndStreamingAndAnswersPing) {
    // The settings remember a port that is gone: the command line's port wins.
    TWindowOnSim w({}, false, "[Comm]\nName=/dev/vek-gone\nBaudRate=115200\nByteSize=8\n");
    ASSERT_TRUE(w.Connect()) << w.Sim.Error();
    TFormMainQox& window = *w.Window;
    EXPECT_EQ(window.FrameConnectPort1->ComboBox1->currentText().toStdString(), w.SimLink());
    EXPECT_TRUE(
        w.WaitLog(QString("Connecting %1 port (115200 bod).").arg(QString::fromStdString(w.SimLink()))));
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.windowTitle() == Identity; }))
        << window.windowTitle().toStdString();
    EXPECT_TRUE(w.WaitLog("LINK: Scan complete (0)."));
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.FrameVekStat1->FrameGraph1->ChannelValue(3) > 0; }))
        << "the supply voltage streams without the operator doing anything";
    window.ActionPing->trigger();
    EXPECT_TRUE(w.WaitLog("Echo is received."));
}

TEST(SessionE2e, RunSpinsTheMotorAndReleaseLetsItStopByItsOwnTimeOut) {
    TWindowOnSim w({});
    ASSERT_TRUE(w.Connect()) << w.Sim.Error();
    TFormMainQox& window = *w.Window;
    ASSERT_TRUE(ProcessEventsUntil([&] { return window.windowTitle() == Identity; }));
    EXPECT_EQ(w.FreshStatus().AvgSpeed, 0);
    TTestControl* control = window.GroupBox2;
    control->MaskEditUpDown17->SetValue(30);
    window.ActionList1.UpdateAll();
    control->SpeedButton1->click();
    ASSERT_TRUE(control->Running());
    EXPECT_TRUE(ProcessEventsUntil([&] { return w.FreshStatus().AvgSpeed > 1000; }, 30000));
    control->SpeedButton1->click();
    ASSERT_FALSE(control->Running());
    EXPECT_TRUE(ProcessEventsUntil(
        [&] {
            const StatusRecord& r = w.FreshStatus();
            return r.AvgSpeed == 0 && (r.Flags & FlagStopped);
        },
        30000));
}

TEST(SessionE2e, FetTestSetsTheTestFlagAndNoPatternTheListsReachShortsAPhase) {
    TWindowOnSim w({});
    ASSERT_TRUE(w.Connect()) << w.Sim.Error();
    TFormMainQox& window = *w.Window;
    TFrameFETest* frame = window.FrameFETest1;
    // The check can fail: a pattern with both switches of phase A on, sent around the interlock.
    const uint8_t shorting[6] = {0x10, 0x04, 0x0A, 0x00, 0x0A, 0x00};
    window.Port()->SendCommandData(zuq::ChannelApp, zuq::Cmd::FetTest, shorting, 6);
    ASSERT_TRUE(w.FreshStatus().Flags & FlagShortCircuit);

    frame->SetStates({FetOn, FetOff, FetOff, FetOff, FetPwm, FetOff});
    frame->MaskEditUpDown2->SetValue(3000);
    frame->SpeedButton1->click();
    EXPECT_TRUE(w.FreshStatus().Flags & FlagTest);
    frame->MaskEditUpDown2->SetValue(10);
    const std::set<TFetStates> patterns = ReachablePatterns();
    EXPECT_GT(patterns.size(), 30u);
    for (const TFetStates& states : patterns) {
        frame->SetStates(states);
        frame->SpeedButton1->click();
        EXPECT_FALSE(w.FreshStatus().Flags & FlagShortCircuit) << std::hex << FetPatternWord(states);
    }
}

TEST(SessionE2e, UnpluggedAdapterIsLostOnceAndANewOneConnects) {
    auto first = std::make_unique<TWindowOnSim>(std::vector<std::string>{"--unplug-after", "2"});
    ASSERT_TRUE(first->Connect()) << first->Sim.Error();
    TFormMainQox& window = *first->Window;
    const QString port = QString::fromStdString(first->SimLink());
    ASSERT_TRUE(first->WaitLog(QString("Port %1 is lost.").arg(port), 20000));
    EXPECT_EQ(first->Beeps, 1);
    EXPECT_FALSE(window.IsConnected());
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.ActionConnect->isEnabled(); }))
        << "the idle update brings the actions back to the disconnected state";
    EXPECT_FALSE(window.ActionPing->isEnabled());

    TSimProcess again;
    ASSERT_TRUE(again.Started()) << again.Error();
    window.FrameConnectPort1->RefreshPorts();
    TCommandLine options;
    options.Port = QString::fromStdString(again.PortName());
    options.Connect = true;
    window.ApplyCommandLine(options);
    EXPECT_TRUE(ProcessEventsUntil([&] { return window.windowTitle() == Identity; }));
    EXPECT_EQ(first->Beeps, 1);
}
