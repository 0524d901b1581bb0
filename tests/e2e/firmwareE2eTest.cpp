// Firmware updates and the CAN link scan, the main window against vek-sim.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

#include "app/mainQox.h"
#include "config/frameConfVek.h"
#include "firmware/frameLenkExt.h"
#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "sim/simBootloader.h"
#include "sim/simController.h"
#include "support/kwyFile.h"
#include "support/qtWait.h"
#include "support/simProcess.h"

namespace {
constexpr int Deadline = 60000;  // generous: the machine may be busy

class FirmwareE2e : public ::testing::Test {
protected:
    // Starts vek-sim with `args` and connects the window to it (opening the window the first time);
    // waits until the chatter of connecting (Detect, the automatic scan, the identity) is over.
    void Start(std::vector<std::string> args) {
        args.insert(args.end(), {"--dump-firmware", dump().toStdString()});
        sim = std::make_unique<TSimProcess>(args);
        ASSERT_TRUE(sim->Started()) << sim->Error();
        if (!window) {
            window = std::make_unique<TFormMainQox>();
            window->IniPath = dir.filePath("vektool.ini");
            window->Beep = [] {};
            window->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        }
        window->FrameConnectPort1->RefreshPorts();
        QComboBox* list = window->FrameConnectPort1->ComboBox1;
        const QString target = QFileInfo(QString::fromStdString(sim->PortName())).canonicalFilePath();
        for (int i = 0; i < list->count(); ++i)
            if (QFileInfo(list->itemText(i)).canonicalFilePath() == target) list->setCurrentIndex(i);
        const int before = int(Log().size());
        window->ActionConnectExecute();
        ASSERT_TRUE(window->IsConnected());
        const auto since = [this, before](const QString& prefix) {
            return ProcessEventsUntil(
                [&] {
                    const QStringList lines = Log().mid(before);
                    return std::any_of(lines.begin(), lines.end(),
                                       [&](const QString& l) { return l.startsWith(prefix); });
                },
                Deadline);
        };
        ASSERT_TRUE(since("LINK: Scan complete"));
        ASSERT_TRUE(since("FW: "));
    }

    QString dump() const { return dir.filePath("dumped.bin"); }
    QStringList Log() const { return window->ListBoxLog->toPlainText().split('\n', Qt::SkipEmptyParts); }
    bool WaitLog(const std::function<bool(const QString&)>& match, int timeoutMs = Deadline) {
        return ProcessEventsUntil(
            [&] {
                const QStringList lines = Log();
                return std::any_of(lines.begin(), lines.end(), match);
            },
            timeoutMs);
    }
    bool WaitLine(const QString& line, int timeoutMs = Deadline) {
        return WaitLog([&](const QString& l) { return l == line; }, timeoutMs);
    }
    bool WaitLineAfter(int start, const QString& line) {
        return ProcessEventsUntil([&] { return Log().mid(start).contains(line); }, Deadline);
    }

    // Loads an image and runs an update; the log lines from the update's start on.
    QStringList Update(const std::vector<uint8_t>& image, uint16_t device, const QString& lastLine) {
        const QString path = dir.filePath("fw.kwy");
        EXPECT_TRUE(WriteKwy(path, device, image));
        TFrameUpdateFW* fw = window->FrameUpdateFW1;
        EXPECT_TRUE(fw->LoadImage(path));
        window->ActionList1.UpdateAll();
        EXPECT_TRUE(fw->ActionUpdateFW->isEnabled());
        const int before = int(Log().size());
        fw->ActionUpdateFW->trigger();
        EXPECT_TRUE(WaitLineAfter(before, lastLine)) << Log().join('\n').toStdString();
        return Log().mid(before);
    }

    // Asks the controller on the line who it is; the firmware text it reports.
    QString Identity() {
        window->setWindowTitle("Vek Tool");
        window->FrameConnectPort1->ComRW->SendCommand(zuq::ChannelApp, zuq::Cmd::Identify);
        EXPECT_TRUE(ProcessEventsUntil([&] { return window->windowTitle() != "Vek Tool"; }, Deadline));
        const QString title = window->windowTitle();
        const int start = title.indexOf("[FW:") + 4;
        return title.mid(start, title.indexOf("  SN:") - start);
    }

    QTemporaryDir dir;
    std::unique_ptr<TSimProcess> sim;
    std::unique_ptr<TFormMainQox> window;
};

TEST_F(FirmwareE2e, UpdateOf256KiBArrivesWholeAndRunsAfterReset) {
    Start({});
    const auto image = KwyPattern(256 * 1024, 0x3C);
    const QStringList lines = Update(image, sim::DefaultDeviceCode, "Soft reset...");

    QStringList expected{"Detect bootloader... Press RESET to start", "BOOT detected!!!",
                         "BOOT v2.3 Prepare 262144 bytes"};
    for (int page = 0; page < 2048; ++page) expected << QString("Page %1 write!").arg(page);
    expected << "Finish."
             << "Soft reset...";
    EXPECT_EQ(lines, expected);
    EXPECT_FALSE(window->FrameUpdateFW1->ProgressBar1->isVisible());
    EXPECT_FALSE(window->FrameUpdateFW1->Busy());

    ASSERT_TRUE(
        ProcessEventsUntil([&] { return QFileInfo(dump()).size() == qint64(image.size()); }, Deadline));
    QFile dumped(dump());
    ASSERT_TRUE(dumped.open(QIODevice::ReadOnly));
    const QByteArray bytes = dumped.readAll();
    ASSERT_EQ(bytes.size(), qsizetype(image.size()));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), reinterpret_cast<const uint8_t*>(bytes.constData())));

    EXPECT_EQ(Identity().toStdString(), sim::TSimController::FirmwareText(image));
}

TEST_F(FirmwareE2e, WrongDeviceWordIsRefused) {
    Start({});
    const QStringList lines = Update(KwyPattern(4096), 0x1111, "Invalid Device !!");
    EXPECT_EQ(lines.mid(0, 2),
              (QStringList{"Detect bootloader... Press RESET to start", "BOOT detected!!!"}));
    ProcessEventsFor(300);
    for (const QString& line : Log()) EXPECT_FALSE(line.startsWith("Page ")) << line.toStdString();
    EXPECT_FALSE(QFile::exists(dump()));
}

TEST_F(FirmwareE2e, FlashErrorPageIsReportedAndTheImageNotTaken) {
    Start({"--flash-error-page", "3"});
    const auto image = KwyPattern(1024, 0x77);
    const QStringList lines = Update(image, sim::DefaultDeviceCode, "Soft reset...");
    const int page3 = int(lines.indexOf("Page 3 write!"));
    ASSERT_GE(page3, 0);
    EXPECT_EQ(lines.value(page3 + 1), "Flash error.");
    EXPECT_EQ(lines.count("Flash error."), 1);
    EXPECT_EQ(lines.mid(lines.size() - 3), (QStringList{"Page 7 write!", "Finish.", "Soft reset..."}));
    EXPECT_EQ(Identity(), "VekSim 1.0");
}

TEST_F(FirmwareE2e, ScanFindsThreeNodesAndTheChosenOneAnswersOverTheNet) {
    Start({"--nodes", "0,2,5"});
    // Connecting answered Detect, and that scanned by itself.
    EXPECT_TRUE(Log().contains("LINK: Scan complete (25)."));
    QListWidget* list = window->FrameLinkScan1->ListView1;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), "Vek#0");
    EXPECT_EQ(list->item(1)->text(), "Vek#2");
    EXPECT_EQ(list->item(2)->text(), "Vek#5");

    window->ViewNetCAN->trigger();
    ASSERT_TRUE(window->FrameLinkScan1->isVisible());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(window->NetBit, 0x80);
    ASSERT_TRUE(WaitLine("LINK: Active link #2."));
    EXPECT_EQ(window->FrameConnectPort1->Port()->ActiveLink, 2);
    EXPECT_EQ(window->FrameLinkScan1->Label25->text(), "Vek#2");
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return window->FrameLinkScan1->Label4->text() == "5e000103"; }, Deadline));
    EXPECT_EQ(window->FrameLinkScan1->Label2->text(), "VekSim 1.0");

    // Config > Get now goes to node 2 with the net bit, and node 2 answers over the net.
    std::vector<uint8_t> configChannels;
    TComRW& port = *window->FrameConnectPort1->ComRW;
    const auto dispatch = port.OnPacket;
    port.OnPacket = [&](const uint8_t* p, uint8_t n, uint8_t ch) {
        if (n >= 1 && p[0] == zuq::Cmd::ConfigData) configChannels.push_back(ch);
        dispatch(p, n, ch);
    };
    TFrameConfigVek* config = window->FrameConfigVek1;
    EXPECT_EQ(config->NetBit, 0x80);
    window->ActionList1.UpdateAll();
    ASSERT_TRUE(config->ActionGet->isEnabled());
    const int before = int(Log().size());
    config->ActionGet->trigger();
    ASSERT_TRUE(ProcessEventsUntil(
        [&] {
            const QStringList lines = Log().mid(before);
            return std::any_of(lines.begin(), lines.end(), [](const QString& l) {
                return l.startsWith("Vek#2: Config #") && l.endsWith(" downloaded.");
            });
        },
        Deadline))
        << Log().join('\n').toStdString();
    EXPECT_EQ(configChannels, std::vector<uint8_t>{0x84});
    window->FrameUpdateFW1->LogLine("check");
    EXPECT_EQ(Log().last(), "Vek#2: check");
}

TEST_F(FirmwareE2e, LostDeviceMidTransferEndsTheUpdateAndANewOneRuns) {
    Start({"--baud", "115200"});
    const QString path = dir.filePath("fw.kwy");
    ASSERT_TRUE(WriteKwy(path, sim::DefaultDeviceCode, KwyPattern(64 * 1024)));
    TFrameUpdateFW* fw = window->FrameUpdateFW1;
    ASSERT_TRUE(fw->LoadImage(path));
    fw->ActionUpdateFWExecute();
    ASSERT_TRUE(WaitLine("Page 3 write!"));
    sim->Stop();
    ASSERT_TRUE(WaitLine("Firmware update stopped: device lost."));
    EXPECT_FALSE(fw->Busy());
    EXPECT_FALSE(fw->ProgressBar1->isVisible());
    EXPECT_FALSE(window->IsConnected());

    // Plugged in again and reconnected: the same window updates a fresh controller.
    sim.reset();
    QFile::remove(dump());
    Start({});
    const auto image = KwyPattern(8 * 1024, 0x21);
    const QStringList lines = Update(image, sim::DefaultDeviceCode, "Soft reset...");
    EXPECT_TRUE(lines.contains("Page 63 write!"));
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return QFileInfo(dump()).size() == qint64(image.size()); }, Deadline));
}
}  // namespace
