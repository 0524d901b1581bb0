// The main window against vek-sim: connect, ping and echo, an unplugged adapter, and a reconnect.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "app/mainQox.h"
#include "link/frameConnect.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {
struct MainQoxSim : ::testing::Test {
    void SetUp() override {
        window = std::make_unique<TFormMainQox>();
        window->IniPath = dir.filePath("vektool.ini");
        window->Beep = [this] { ++beeps; };
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    // Refreshes the list as an operator would, picks the simulator's entry and presses Connect.
    void ConnectTo(const TSimProcess& sim) {
        QComboBox* list = window->FrameConnectPort1->ComboBox1;
        list->setCurrentIndex(list->findText("Refresh"));
        window->FrameConnectPort1->ComboBox1Click();
        int entry = -1;
        for (int i = 0; i < list->count(); ++i)
            if (QFileInfo(list->itemText(i)).symLinkTarget().toStdString() == sim.PortName()) entry = i;
        ASSERT_GE(entry, 0) << "the simulator's port is not listed";
        list->setCurrentIndex(entry);
        window->FrameConnectPort1->ComboBox1Click();
        window->ActionConnect->trigger();
        ASSERT_TRUE(window->IsConnected());
    }

    int Count(const QString& line) const { return window->ListBoxLog->toPlainText().split('\n').count(line); }

    // Pings and waits for the answer in the log.
    void PingAndSeeEcho() {
        const int before = Count("Echo is received.");
        window->ActionList1.UpdateAll();
        ASSERT_TRUE(window->ActionPing->isEnabled());
        window->ActionPing->trigger();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Count("Echo is received.") > before; }, 10000));
        ProcessEventsFor(100);
        EXPECT_EQ(Count("Echo is received."), before + 1);
    }

    QTemporaryDir dir;
    std::unique_ptr<TFormMainQox> window;
    int beeps = 0;
};
}  // namespace

TEST_F(MainQoxSim, ConnectPingAndEcho) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    ConnectTo(sim);
    PingAndSeeEcho();
    EXPECT_EQ(Count("Send ping..."), 1);
    window->ActionDisconnect->trigger();
    EXPECT_FALSE(window->IsConnected());
}

TEST_F(MainQoxSim, UnpluggedAdapterFallsBackToDisconnectedAndReconnectWorks) {
    {
        TSimProcess sim({"--unplug-after", "3"});
        ASSERT_TRUE(sim.Started()) << sim.Error();
        ConnectTo(sim);
        PingAndSeeEcho();
        ASSERT_TRUE(ProcessEventsUntil([&] { return beeps > 0; }, 20000));
        ProcessEventsFor(200);
        EXPECT_EQ(beeps, 1);
        EXPECT_FALSE(window->IsConnected());
        // The idle update brings the actions back to the disconnected state by itself.
        EXPECT_TRUE(ProcessEventsUntil([&] { return window->ActionConnect->isEnabled(); }, 3000));
        EXPECT_FALSE(window->ActionDisconnect->isEnabled());
        EXPECT_FALSE(window->ActionPing->isEnabled());
        EXPECT_TRUE(window->FrameConnectPort1->Connect->isEnabled());
        sim.WaitExited(10000);
    }
    TSimProcess again;
    ASSERT_TRUE(again.Started()) << again.Error();
    ConnectTo(again);
    PingAndSeeEcho();
    EXPECT_EQ(beeps, 1);
}
