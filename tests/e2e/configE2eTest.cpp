// The configuration frame against vek-sim: detection after a connect, Get All, edits, Flash All, and the
// flashed records read back after reconnecting, also on a line that loses a fifth of the replies.
#include <gtest/gtest.h>

#include <QTimer>

#include "link/Waiter.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {

struct TConfigRig {
    explicit TConfigRig(const std::vector<std::string>& args) : sim(args) {
        link.InitPort(
            [this](const uint8_t* payload, uint8_t length, uint8_t) { frame.HandleReply(payload, length); },
            {}, {});
        frame.Initialize(link.Port(), 0, [this](const QString& line) { log << line; });
    }
    void Connect(bool detect) {
        link.ComRW->PortName = sim.PortName();
        link.ComRW->SetActive(true);
        if (detect) link.ComRW->SendCommand(zuq::ChannelApp, zuq::Cmd::Detect);
    }
    bool Idle() const {
        return !frame.Waiter->Active() &&
               std::all_of(frame.Pending.begin(), frame.Pending.end(), [](int p) { return p == 0; });
    }
    // A transfer is over when nothing is pending and no wait runs; every record then answered or gave up.
    bool RunUntilIdle(int timeoutMs) {
        ProcessEventsFor(50);
        return ProcessEventsUntil([this] { return Idle(); }, timeoutMs);
    }
    int Count(const QString& start) const {
        int n = 0;
        for (const QString& line : log) n += line.startsWith(start) ? 1 : 0;
        return n;
    }

    TSimProcess sim;
    TFrameConnectPort link;
    TFrameConfigVek frame;
    QStringList log;
};

void EditAndFlashAll(TConfigRig& rig, int timeoutMs) {
    rig.frame.MaskEditUpDown2->SetValue(7);
    rig.frame.ShowRecord();
    rig.frame.MaskEditUpDown16->SetValue(18);   // poles
    rig.frame.MaskEditUpDown5->SetValue(25.5);  // Max Current (A)
    rig.frame.Records[11].Timing = 12;
    rig.frame.ActionSetAllExecute();
    ASSERT_TRUE(rig.RunUntilIdle(timeoutMs)) << rig.log.join('\n').toStdString();
}

// Reads every record back after a reconnect. On a lossy line a record may give up after its last retry,
// as an operator would see in the log; `attempts` Get Alls are then allowed, as an operator would repeat it.
void ForgetAndReadBack(TConfigRig& rig, int timeoutMs, int attempts = 1) {
    rig.link.ComRW->SetActive(false);
    for (int n = 0; n < ConfigRecordCount; ++n) {
        rig.frame.Records[n] = ConfigRecord::Defaults(uint8_t(n));
        rig.frame.Records[n].poles = 99;
    }
    rig.frame.ShowRecord();
    rig.Connect(false);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        rig.frame.ActionGetAllExecute();
        ASSERT_TRUE(rig.RunUntilIdle(timeoutMs)) << rig.log.join('\n').toStdString();
        if (std::none_of(rig.frame.Records.begin(), rig.frame.Records.end(),
                         [](const ConfigRecord& r) { return r.poles == 99; }))
            break;
    }
    for (int n = 0; n < ConfigRecordCount; ++n) {
        EXPECT_EQ(rig.frame.Records[n].poles, n == 7 ? 18 : 12) << "record " << n;
        EXPECT_EQ(rig.frame.Records[n].Timing, n == 11 ? 12 : -1) << "record " << n;
    }
    EXPECT_EQ(rig.frame.Records[7].Max_Current, 255);
    EXPECT_EQ(rig.frame.MaskEditUpDown16->text(), "18") << "record 7 is on screen";
}

TEST(ConfigE2e, DetectGetAllFlashAllReadBack) {
    TConfigRig rig({"--mode", "5"});
    ASSERT_TRUE(rig.sim.Started()) << rig.sim.Error();
    rig.Connect(true);
    // The detection sequence polls the status and reads the record the controller uses.
    ASSERT_TRUE(ProcessEventsUntil([&] { return rig.log.contains("Config #5 v0.3 downloaded."); }, 20000))
        << rig.log.join('\n').toStdString();
    EXPECT_EQ(rig.log.first(), "Vek detected.");
    EXPECT_EQ(rig.frame.MaskEditUpDown2->text(), "5");
    EXPECT_TRUE(rig.RunUntilIdle(10000));

    rig.log.clear();
    rig.frame.ActionGetAllExecute();
    ASSERT_TRUE(rig.RunUntilIdle(20000)) << rig.log.join('\n').toStdString();
    EXPECT_EQ(rig.Count("Config #"), 17);
    EXPECT_EQ(rig.Count("CONFIG downloading failed!"), 0);

    rig.log.clear();
    EditAndFlashAll(rig, 20000);
    EXPECT_EQ(rig.Count("Config #"), 17) << rig.log.join('\n').toStdString();
    EXPECT_EQ(rig.log.last(), "Config #16 uploaded.");
    ForgetAndReadBack(rig, 20000);
}

TEST(ConfigE2e, LossyLineCompletesThroughRetries) {
    TConfigRig rig({"--drop", "0.2", "--seed", "7"});
    ASSERT_TRUE(rig.sim.Started()) << rig.sim.Error();
    // The waiter's ticks come every 50 ms instead of 100 ms: a one-second wait is still far longer than
    // the simulator takes to answer, and the lost replies cost less time.
    QTimer fastTicks;
    fastTicks.setInterval(50);
    QObject::connect(&fastTicks, &QTimer::timeout, [&rig] {
        if (rig.frame.Waiter->Active()) rig.frame.Waiter->Tick();
    });
    fastTicks.start();
    rig.Connect(false);

    rig.frame.ActionGetAllExecute();
    ASSERT_TRUE(rig.RunUntilIdle(60000)) << rig.log.join('\n').toStdString();
    EditAndFlashAll(rig, 60000);
    ForgetAndReadBack(rig, 60000, 3);
    EXPECT_GT(rig.Count("CONFIG downloading failed!"), 0);
    EXPECT_GT(rig.Count("CONFIG uploading failed!"), 0);
    EXPECT_GT(rig.Count("Retry downloading CONFIG #") + rig.Count("Retry uploading CONFIG #"), 0);
}

}  // namespace
