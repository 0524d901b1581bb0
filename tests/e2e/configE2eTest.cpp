// The configuration frame against vek-sim: detection after a connect, Flash All of edited records, and
// the records read back after reconnecting, on a clean line and on one that loses a tenth of the replies.
#include <gtest/gtest.h>

#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {

void FlashAllAndReadBack(const std::vector<std::string>& args, bool lossy) {
    TSimProcess sim(args);
    ASSERT_TRUE(sim.Started()) << sim.Error();
    TFrameConfigVek frame;
    TFrameConnectPort link;
    QStringList log;
    link.InitPort(
        [&](const uint8_t* payload, uint8_t length, uint8_t) { frame.HandleReply(payload, length); }, {}, {});
    frame.Initialize(link.Port(), 0, [&](const QString& line) { log << line; });
    const auto connect = [&] { link.ComRW->PortName = sim.PortName(), link.ComRW->SetActive(true); };
    // The transfer has ended, and every record has been read.
    const auto done = [&] {
        return ProcessEventsUntil([&] { return !frame.Transfer.Busy(); }, 30000) &&
               std::none_of(frame.Records.begin(), frame.Records.end(),
                            [](auto& r) { return r.poles == 99; });
    };
    connect();
    if (!lossy) {
        link.ComRW->SendCommand(zuq::ChannelApp, zuq::Cmd::Detect);
        ASSERT_TRUE(ProcessEventsUntil([&] { return log.contains("Config #5 v0.3 downloaded."); }, 20000))
            << log.join('\n').toStdString();
        EXPECT_EQ(log.first() + frame.MaskEditUpDown2->text(), "Vek detected.5");
    }
    frame.MaskEditUpDown2->SetValue(7), frame.ShowRecord();
    frame.MaskEditUpDown16->SetValue(18), frame.Records[11].Timing = 12;
    frame.ActionSetAllExecute();
    ASSERT_TRUE(done()) << log.join('\n').toStdString();

    // Forgotten, reconnected and read again; on the lossy line a record that gave up is read once more.
    link.ComRW->SetActive(false);
    for (ConfigRecord& r : frame.Records) r.poles = 99, r.Timing = -1;
    frame.ShowRecord(), connect();
    for (int attempt = 0; attempt < 3; ++attempt)
        if (frame.ActionGetAllExecute(); done()) break;
    for (int n = 0; n < ConfigRecordCount; ++n)
        EXPECT_EQ(std::make_pair(frame.Records[n].poles, frame.Records[n].Timing),
                  std::make_pair(uint8_t(n == 7 ? 18 : 12), int8_t(n == 11 ? 12 : -1)))
            << n;
    EXPECT_EQ(log.filter("failed!").isEmpty(), !lossy) << log.join('\n').toStdString();
}

TEST(ConfigE2e, FlashAllAndReadBack) {
    FlashAllAndReadBack({"--mode", "5"}, false);
    FlashAllAndReadBack({"--mode", "5", "--drop", "0.1", "--seed", "7"}, true);
}

}  // namespace
