// Starting with --port and --connect against vek-sim: the named port wins over the one the settings
// file remembers, a name the list lacks is added, and the window connects once it is up.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include "app/commandLine.h"
#include "app/mainQox.h"
#include "link/frameConnect.h"
#include "link/simPortFolder.h"
#include "support/qtWait.h"
#include "support/simProcess.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

TEST(CommandLineSim, PortOptionWinsAndConnectConnectsOnceShown) {
    TSimProcess sim;
    ASSERT_TRUE(sim.Started()) << sim.Error();
    QString link;  // the simulator's entry in the port list
    for (const QFileInfo& entry : QDir(QString::fromStdString(SimPortFolder())).entryInfoList(QDir::System))
        if (entry.symLinkTarget().toStdString() == sim.PortName()) link = entry.absoluteFilePath();
    ASSERT_FALSE(link.isEmpty());
    const QString missing = QStringLiteral("/dev/vek-no-such-port");
    struct Case {
        QString remembered;  // "Name" in the settings file
        QString port;        // --port
        bool added;          // the list gained an entry
        bool connected;
    } cases[] = {{link, missing, true, false}, {missing, link, false, true}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        TFormMainQox window;
        window.IniPath = dir.filePath("vektool.ini");
        QFile ini(window.IniPath);
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Comm]\nName=" + c.remembered.toUtf8() + "\nBaudRate=115200\nByteSize=8\n");
        ini.close();
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QComboBox* list = window.FrameConnectPort1->ComboBox1;
        const int before = list->count();
        TCommandLine options;
        options.Port = c.port;
        options.Connect = true;
        window.ApplyCommandLine(options);
        EXPECT_EQ(list->count(), before + (c.added ? 1 : 0));
        EXPECT_EQ(list->currentText(), c.port);
        EXPECT_EQ(list->itemText(list->count() - 1), QStringLiteral("Refresh"));
        const QString connecting = QStringLiteral("Connecting %1 port (115200 bod).").arg(c.port);
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return window.ListBoxLog->toPlainText().contains(connecting); }));
        EXPECT_EQ(window.IsConnected(), c.connected) << window.ListBoxLog->toPlainText().toStdString();
        if (!c.connected) continue;
        // Identified, and the telemetry streams without the operator doing anything more.
        EXPECT_TRUE(ProcessEventsUntil(
            [&] { return window.windowTitle() == QStringLiteral("Vek Tool [FW:VekSim 1.0  SN:5e000001]"); },
            10000))
            << window.windowTitle().toStdString();
        EXPECT_TRUE(ProcessEventsUntil([&] { return window.FrameVekStat1->FrameGraph1->ChannelValue(3) > 0; },
                                       10000));  // the battery voltage
    }
}
