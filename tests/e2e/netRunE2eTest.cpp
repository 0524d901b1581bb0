// RUN on one node of the CAN net, then a click on another: the other node's motor never turns, and the
// first stops by its own time-out because its throttle stream has ended.
#include <gtest/gtest.h>

#include <QAction>
#include <QListWidget>
#include <sstream>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/comLink.h"
#include "telemetry/frameVekStatus.h"
#include "windowSim.h"

namespace {
constexpr uint8_t FlagStopped = 0x01;

// Throttle packets in the simulator's trace, by the controller they reached.
int ThrottlesTo(const std::string& trace, const std::string& target) {
    std::istringstream lines(trace);
    std::string line;
    int count = 0;
    while (std::getline(lines, line))
        if (line.find(" in  Throttle ") != std::string::npos &&
            line.find(" to=" + target) != std::string::npos)
            ++count;
    return count;
}
}  // namespace

TEST(NetRunE2e, ClickingAnotherNodeDuringRunNeverStartsIt) {
    TWindowOnSim w({"--nodes", "0,2"}, true);
    ASSERT_TRUE(w.Connect()) << w.Sim.Error();
    TFormMainQox& window = *w.Window;
    window.ViewNetCAN->trigger();
    QListWidget* list = window.FrameLinkScan1->ListView1;
    ASSERT_TRUE(ProcessEventsUntil([&] { return list->count() == 2; })) << "the scan after connecting";
    const StatusRecord& record = window.FrameVekStat1->Record;
    const auto select = [&](int row, uint8_t link) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
        ASSERT_TRUE(ProcessEventsUntil([&] { return window.Port()->ActiveLink == link; }));
        const int before = w.Statuses;
        ASSERT_TRUE(ProcessEventsUntil([&] { return w.Statuses > before + 1 && record.Address == link; }));
    };

    select(1, 2);
    EXPECT_EQ(window.FrameUpdateFW1->NetBit, 0x80) << "the firmware frame follows the pick";
    TTestControl* control = window.GroupBox2;
    control->MaskEditUpDown17->SetValue(30);
    window.ActionList1.UpdateAll();
    control->ActionRun->trigger();
    ASSERT_TRUE(ProcessEventsUntil([&] { return record.AvgSpeed > 500; }, 20000)) << record.AvgSpeed;

    select(0, 0);
    EXPECT_FALSE(control->Running());
    EXPECT_EQ(record.AvgSpeed, 0);
    select(1, 2);
    EXPECT_TRUE(
        ProcessEventsUntil([&] { return record.AvgSpeed == 0 && (record.Flags & FlagStopped); }, 20000))
        << "node 2 still turns at " << record.AvgSpeed;
    EXPECT_GT(ThrottlesTo(w.Sim.Stderr(), "node2"), 0);
    EXPECT_EQ(ThrottlesTo(w.Sim.Stderr(), "node0"), 0);
    EXPECT_EQ(ThrottlesTo(w.Sim.Stderr(), "line"), 0);
}
