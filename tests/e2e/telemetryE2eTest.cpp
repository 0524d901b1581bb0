// Recording against vek-sim: RUN at 30 % while the status stream is recorded for five seconds; the file
// holds a row for each record of the stream, the throttle in its unit and the motor speeding up.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>

#include "app/testControl.h"
#include "controls/MaskEditUpDown.h"
#include "telemetry/frameVekStatus.h"
#include "windowSim.h"

TEST(TelemetryE2e, FiveSecondsOfAMotorSpeedingUpRecordedAtTwentyRowsASecond) {
    TWindowOnSim w({});
    ASSERT_TRUE(w.Connect()) << w.Sim.Error();
    TFormMainQox& window = *w.Window;
    TFrameVekStat* status = window.FrameVekStat1;
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    status->AskSaveFileName = [&](const QString&, const QString&) { return path; };
    ASSERT_TRUE(ProcessEventsUntil([&] { return status->Recorder.History().size() > 20; }, 30000));

    window.GroupBox2->MaskEditUpDown17->SetValue(30);
    window.ActionList1.UpdateAll();
    status->ActionRecord->trigger();
    window.GroupBox2->SpeedButton1->click();
    ProcessEventsFor(5000);  // the recording's length, not a wait for something
    window.GroupBox2->SpeedButton1->click();
    status->ActionRecord->trigger();

    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> rows = file.readAll().trimmed().split('\n');
    ASSERT_GT(rows.size(), 1);
    EXPECT_TRUE(rows.takeFirst().startsWith("Time,Seconds,Throttle (%),"));
    EXPECT_GE(rows.size(), 75);  // about 100: 20 a second for five seconds, on a machine that may be busy
    EXPECT_LE(rows.size(), 125);
    EXPECT_EQ(w.LogCount(QStringLiteral("Recorded %1 rows to %2.").arg(rows.size()).arg(path)), 1);
    const auto field = [&](int row, int column) { return rows[row].split(',')[column]; };
    EXPECT_GE(field(static_cast<int>(rows.size()) - 1, 1).toDouble(), 4.5);  // seconds since the start
    EXPECT_EQ(field(static_cast<int>(rows.size()) - 1, 2), "30.0");
    int rises = 0, max = 0;
    for (int i = 1; i < rows.size(); ++i) {
        rises += field(i, 8).toInt() > field(i - 1, 8).toInt();
        max = std::max(max, field(i, 8).toInt());
    }
    EXPECT_GT(max, field(0, 8).toInt() + 1000) << "the motor speeds up from where the recording began";
    EXPECT_GT(rises, 10) << "the speed rises";
}
