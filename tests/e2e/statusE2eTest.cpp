// The status frame against vek-sim: connect, telemetry streams at the refresh rate, the graph fills and
// shows the checked channels.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cstdlib>
#include <memory>

#include "app/mainQox.h"
#include "link/frameConnect.h"
#include "support/qtWait.h"
#include "support/simProcess.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

namespace {

bool ImageHasColour(const QImage& image, const QColor& colour) {
    const QRgb wanted = colour.rgb();
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] | 0xff000000u) == wanted) return true;
    }
    return false;
}

}  // namespace

TEST(StatusSim, TelemetryFillsTheGraph) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    QTemporaryDir dir;
    TFormMainQox window;
    window.IniPath = dir.filePath("vektool.ini");
    window.Beep = [] {};
    window.resize(1280, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QComboBox* list = window.FrameConnectPort1->ComboBox1;
    list->setCurrentIndex(list->findText("Refresh"));
    window.FrameConnectPort1->ComboBox1Click();
    int entry = -1;
    for (int i = 0; i < list->count(); ++i)
        if (QFileInfo(list->itemText(i)).symLinkTarget().toStdString() == sim.PortName()) entry = i;
    ASSERT_GE(entry, 0) << "the simulator's port is not listed";
    list->setCurrentIndex(entry);
    window.FrameConnectPort1->ComboBox1Click();
    window.ActionConnect->trigger();
    ASSERT_TRUE(window.IsConnected());

    TFrameVekStat* status = window.FrameVekStat1;
    ASSERT_EQ(window.MenuStatus->actions().size(), 2);
    EXPECT_EQ(window.MenuStatus->actions()[0], status->ActionLogUpdate);
    EXPECT_EQ(window.MenuStatus->actions()[1], status->ActionClearLog);
    TFrameGraph* graph = status->FrameGraph1;
    const TLoopBuf& voltage = graph->Buffers[3];
    // The first timer tick asks with 20 a second; the one-second timer alone would need a minute for
    // 60 samples, the stream brings them in about three seconds.
    ASSERT_TRUE(ProcessEventsUntil([&] { return voltage.GetCount() >= 60; }, 30000))
        << "samples: " << voltage.GetCount();
    EXPECT_GT(graph->ChannelValue(3), 0.0);  // the motor model's supply voltage
    EXPECT_EQ(graph->ChannelName(3), QStringLiteral("Voltage (V)"));

    // Checking "Voltage (V)" shows it: its green appears on the rendered image.
    status->CheckListBox1->item(3)->setCheckState(Qt::Checked);
    EXPECT_TRUE(voltage.Visible);
    EXPECT_LE(graph->YMin, voltage.Lowest);
    EXPECT_GE(graph->YMax, voltage.Highest);
    EXPECT_TRUE(ProcessEventsUntil([&] { return ImageHasColour(graph->Bitmap, QColor(0, 128, 0)); }, 10000));
    status->CheckListBox1->item(1)->setCheckState(Qt::Checked);

    // With UPDATE released the stream ends and no samples are added; the panel still follows.
    QTest::mouseClick(status->ASpeedButton1, Qt::LeftButton);
    ASSERT_FALSE(status->ASpeedButton1->isChecked());
    ProcessEventsFor(300);  // replies already on the way still refresh the panel
    const int count = voltage.GetCount();
    ProcessEventsFor(1500);
    EXPECT_EQ(voltage.GetCount(), count);
    QTest::mouseClick(status->ASpeedButton1, Qt::LeftButton);
    ASSERT_TRUE(ProcessEventsUntil([&] { return voltage.GetCount() >= count + 20; }, 30000));

    // For a look at the window: VEK_STATUS_HOLD_MS keeps it on screen that long.
    if (const char* hold = std::getenv("VEK_STATUS_HOLD_MS")) ProcessEventsFor(std::atoi(hold));
    window.ActionDisconnect->trigger();
}
