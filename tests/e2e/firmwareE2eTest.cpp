// Firmware updates, the main window against vek-sim.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>

#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "sim/simController.h"
#include "support/kwyFile.h"
#include "windowSim.h"

// Connected to vek-sim, after the chatter of connecting (Detect, the automatic scan, the identity).
TEST(FirmwareE2e, UpdateArrivesByteExactAndAFlashErrorKeepsTheOldFirmware) {
    QTemporaryDir dir;
    const std::string dump = dir.filePath("dump.bin").toStdString();
    TWindowOnSim sim({"--flash-error-page", "600", "--dump-firmware", dump});
    TFormMainQox* window = sim.Window.get();
    constexpr int Deadline = 60000;  // generous: the machine may be busy
    const auto Log = [&] { return sim.Log(); };
    const auto WaitLine = [&](const QString& start) { return sim.WaitLog(start, Deadline); };
    ASSERT_TRUE(sim.Connect() && WaitLine("FW: ") && WaitLine("LINK: Scan complete")) << sim.Sim.Error();
    const auto image = KwyPattern(64 * 1024, 0x3C);
    const QString firmware = QString::fromStdString(sim::TSimController::FirmwareText(image));
    ASSERT_TRUE(WriteKwy(dir.filePath("a.kwy"), sim::DefaultDeviceCode, image));
    ASSERT_TRUE(window->FrameUpdateFW1->LoadImage(dir.filePath("a.kwy")));
    window->FrameUpdateFW1->ActionUpdateFW->trigger();
    ASSERT_TRUE(WaitLine("Page 0 write!")) << Log().join('\n').toStdString();
    // Mid-transfer the image cannot be replaced: one opened now is the next update's.
    TFrameUpdateFW* frame = window->FrameUpdateFW1;
    EXPECT_FALSE(frame->ActionOpenFW->isEnabled() || frame->ActionUpdateFW->isEnabled());
    ASSERT_TRUE(WriteKwy(dir.filePath("b.kwy"), sim::DefaultDeviceCode, KwyPattern(80 * 1024, 0x11)));
    ASSERT_TRUE(frame->LoadImage(dir.filePath("b.kwy")));
    ASSERT_TRUE(WaitLine("Soft reset..."));
    EXPECT_EQ(Log().mid(Log().size() - 2), (QStringList{"Finish.", "Soft reset..."}));
    QFile dumped(dir.filePath("dump.bin"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return dumped.size() == qint64(image.size()); }, Deadline));
    ASSERT_TRUE(dumped.open(QIODevice::ReadOnly));
    EXPECT_EQ(dumped.readAll(),
              QByteArray(reinterpret_cast<const char*>(image.data()), qsizetype(image.size())));

    // The second image fails at page 600: no "Finish.", no reset into it; Reset brings back the first.
    const int before = int(Log().size());
    frame->ActionUpdateFW->trigger();
    ASSERT_TRUE(WaitLine("Firmware update failed: flash error on page 600."));
    EXPECT_FALSE(Log().mid(before).contains("Finish."));
    EXPECT_TRUE(frame->ActionUpdateFW->isEnabled());
    frame->ActionReset->trigger();
    QLabel* reported = window->FrameLinkScan1->Label2;  // after a scan, what the controller on the line runs
    reported->clear();
    window->FrameLinkScan1->ActionScanExecute();
    EXPECT_TRUE(ProcessEventsUntil([&] { return reported->text() == firmware; }, Deadline));
}
