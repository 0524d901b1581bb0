// An operator's session against vek-sim: start connected from the command line, identified and
// streaming; ping; an unplugged adapter is lost once and a new one connects. (RUN against the
// simulator: netRunE2eTest.cpp and telemetryE2eTest.cpp.)
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>

#include "link/frameConnect.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"
#include "windowSim.h"

namespace {
const QString Identity = QStringLiteral("Vek Tool [FW:VekSim 1.0  SN:5e000001]");
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
