// The status frame on a recording port: records decoded into graph, panel and list, requests, the
// settings file's section, and recording, export and image files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimer>

#include "controls/MaskEditUpDown.h"
#include "link/zuq.h"
#include "support/recordingLink.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct FrameStatus : ::testing::Test {
    FrameStatus() {
        frame.Timer1->stop();  // the tests ask themselves
        frame.OnLog = [this](const QString& line) { log << line; };
        frame.AskSaveFileName = [this](const QString&, const QString&) { return path; };
        frame.Initialize(&port, 0);
    }
    // A Status reply of `size` record bytes, zero but for the given ones.
    void Reply(const std::vector<std::pair<size_t, uint8_t>>& bytes, size_t size = 29) {
        Bytes payload(size + 1, 0);
        payload[0] = zuq::Cmd::Status;
        for (const auto& [offset, value] : bytes) payload[offset + 1] = value;
        EXPECT_TRUE(frame.HandleReply(payload.data(), static_cast<uint8_t>(payload.size())));
    }
    const TLoopBuf& Buffer(int channel) { return frame.FrameGraph1->Buffers[static_cast<size_t>(channel)]; }

    TRecordingLink port;
    TFrameVekStat frame;
    QStringList log;
    QString path;
    QTemporaryDir dir;
};

}  // namespace

TEST_F(FrameStatus, RepliesFillTheGraphThePanelAndTheList) {
    struct Case {
        std::vector<std::pair<size_t, uint8_t>> bytes;
        size_t size;
        double current, voltage, debug;
        int mode, flags;
    } cases[] = {
        {{}, 0, 0, 0, 0, 0, 0},                                                     // the command byte alone
        {{{0, 0xff}, {1, 0xff}, {2, 0xff}, {3, 0xff}}, 29, -1, 65535, 0, 0, 0},     // signed, unsigned
        {{{16, 200}, {18, 0x80}}, 29, 0, 0, 0, 16, 0x80},                           // mode 200 shows 16
        {{{27, 0xfe}, {28, 0xff}, {29, 0x55}, {18, 0x49}}, 40, 0, 0, -2, 0, 0x49},  // cut to 29 bytes
    };
    for (const Case& c : cases) {
        Reply(c.bytes, c.size);
        EXPECT_EQ(std::vector<double>({Buffer(1).Last, Buffer(3).Last, Buffer(12).Last}),
                  std::vector<double>({c.current, c.voltage, c.debug}));
        EXPECT_EQ(frame.MaskEditUpDown12->GetIntValue(), c.mode);
        int flags = 0;
        for (int bit = 0; bit < 8; ++bit) flags |= frame.FlagBoxes[bit]->isChecked() << bit;
        EXPECT_EQ(flags, c.flags);
    }
    // The list shows values in their units; the graph the raw counts.
    Reply({{0, 0x7b}, {2, 0xa8}, {12, 0xd2}, {13, 0x04}});  // current 123, voltage 168, speed 1234
    EXPECT_EQ(Buffer(1).Last, 123);
    QStringList values;
    for (int i : {1, 3, 6, 0}) values << frame.ValueText(i);
    EXPECT_EQ(values.replaceInStrings(QLocale::system().decimalPoint(), "."),
              QStringList({"12.3", "16.8", "1234", "0.0"}));
}

TEST_F(FrameStatus, RequestsCarryTheRateWhileUpdateIsDown) {
    frame.RequestStatus();
    EXPECT_EQ(port.Take(), "StatusRequest ch=01 14\n");
    EXPECT_EQ(Buffer(0).GetCount(), 1);  // every request applies the stored record again
    frame.NetBit = 0x80;
    frame.MaskEditUpDown1->SetValue(250);
    frame.RequestStatus();
    EXPECT_EQ(port.Take(), "StatusRequest ch=81 fa\n");
    Reply({});  // kept for Export while UPDATE is down
    // UPDATE released: a request with 0 at once; replies refresh the panel but add no samples.
    frame.ActionLogUpdate->trigger();
    EXPECT_EQ(port.Take(), "StatusRequest ch=81 00\n");
    Reply({{16, 5}});
    EXPECT_EQ(std::pair(Buffer(0).GetCount(), frame.Recorder.History().size()), std::pair(3, size_t(1)));
    port.Open = false;  // nothing goes out on a closed port
    frame.Timer1Timer();
    EXPECT_TRUE(port.Events.empty());
    frame.ActionClearLog->trigger();  // CLEAR drops every sample, and the records Export would write
    EXPECT_EQ(Buffer(1).GetCount(), 0);
    EXPECT_TRUE(frame.Recorder.History().empty());
}

TEST_F(FrameStatus, SettingsComeBackFromTheFile) {
    frame.CheckListBox1->item(1)->setCheckState(Qt::Unchecked);
    frame.CheckListBox1->item(7)->setCheckState(Qt::Checked);
    frame.AskColor = [](const QColor&) { return QColor(1, 2, 3); };
    frame.CheckListBox1DblClick(7);
    for (QAction* option :
         {frame.FrameGraph1->NFitEach, frame.FrameGraph1->NSeconds, frame.FrameGraph1->N2D1})
        option->trigger();
    frame.FrameGraph1->Window = 640;
    frame.MaskEditUpDown1->SetValue(125);
    CSimpleIniA ini;
    frame.SaveSettings(ini);
    ini.SetValue("Telemetry", "Color3", "green");  // unreadable values leave the defaults
    ini.SetValue("Telemetry", "Window", "99999");

    TFrameVekStat next;
    next.LoadSettings(ini);  // before Initialize, as the window does
    next.Initialize(&port, 0);
    for (int i = 0; i < TFrameVekStat::ChannelCount; ++i)  // 0 and 6 checked from the first start on
        EXPECT_EQ(next.FrameGraph1->Buffers[static_cast<size_t>(i)].Visible, i == 0 || i == 6 || i == 7) << i;
    EXPECT_EQ(next.FrameGraph1->Buffers[7].Color, QColor(1, 2, 3));
    EXPECT_EQ(next.FrameGraph1->Buffers[3].Color, QColor(0, 128, 0));
    EXPECT_TRUE(next.FrameGraph1->FitEach && next.FrameGraph1->Seconds &&
                next.FrameGraph1->NFitEach->isChecked());
    EXPECT_EQ(std::vector<int>({next.FrameGraph1->PlotMode, next.FrameGraph1->Window,
                                next.MaskEditUpDown1->GetIntValue()}),
              std::vector<int>({2, 200, 125}));
}

TEST_F(FrameStatus, RecordingExportAndImageWriteFilesOrSayWhyNot) {
    QString shown;
    frame.OnRecording = [&](const QString& text) { shown = text; };
    path = dir.filePath("run.csv");
    frame.ActionRecord->trigger();
    for (uint8_t speed = 1; speed <= 30; ++speed) Reply({{12, speed}, {18, 0x01}});
    frame.RecordTimerTimer();
    EXPECT_EQ(shown, "Recording run.csv: 30 rows");
    frame.ActionRecord->trigger();
    EXPECT_EQ(shown, "");
    EXPECT_EQ(log.back(), "Recorded 30 rows to " + path + ".");
    QFile file(path);  // every reply a row, the last one last
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll().endsWith(",30,0,0,0,0,0,0,0,0,Stopped\n"));

    const std::pair<QAction*, QString> files[] = {
        {frame.ActionExport, "Exported 30 rows to %1."},
        {frame.ActionSaveImage, "Plot saved to %1."},
        {frame.ActionRecord, "Cannot record to %1: "},
        {frame.ActionExport, "Cannot export to %1: "},
        {frame.ActionSaveImage, "Cannot save the plot to %1: "},
    };
    for (const auto& [action, line] : files) {
        path = dir.filePath(line.startsWith("Cannot") ? "missing/file" : "file");
        action->trigger();
        EXPECT_TRUE(log.back().startsWith(line.arg(path))) << log.back().toStdString();
        EXPECT_FALSE(frame.ActionRecord->isChecked());
    }
    EXPECT_FALSE(QImage(dir.filePath("file"), "PNG").isNull());
}
