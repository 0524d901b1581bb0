// The status frame: record decoding, panel, UPDATE toggle, requests on the line and the channel list.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QListWidget>
#include <QLocale>
#include <QPainter>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "link/treadRW.h"
#include "link/zuq.h"
#include "paintRecorder.h"
#include "support/ptyPeer.h"
#include "telemetry/fGraph.h"
#include "telemetry/frameVekStatus.h"

namespace {

std::vector<uint8_t> StatusPayload(const std::vector<std::pair<size_t, uint8_t>>& bytes, size_t size = 29) {
    std::vector<uint8_t> payload(size + 1, 0);
    payload[0] = zuq::Cmd::Status;
    for (const auto& [offset, value] : bytes) payload[offset + 1] = value;
    return payload;
}

struct FrameStatus : ::testing::Test {
    FrameStatus() {
        link.InitPort({}, {}, {});
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        frame.Timer1->stop();  // the tests send the requests themselves
        frame.Initialize(link.Port(), 0);
    }
    bool Reply(const std::vector<uint8_t>& payload) {
        return frame.HandleReply(payload.data(), static_cast<uint8_t>(payload.size()));
    }
    TLoopBuf& Buffer(int channel) { return frame.FrameGraph1->Buffers[static_cast<size_t>(channel)]; }
    // The last sample of a channel.
    double Newest(int channel) {
        TLoopBuf& b = Buffer(channel);
        return b.Get((b.GetHead() - 1 + b.Capacity) % b.Capacity);
    }

    TPtyPeer peer;
    TFrameConnectPort link;
    TFrameVekStat frame;
};

}  // namespace

TEST(StatusRecord, DecodesLittleEndianFieldsAtTheirOffsets) {
    uint8_t b[29];
    for (int i = 0; i < 29; ++i) b[i] = static_cast<uint8_t>(i + 1);
    const StatusRecord r = StatusRecord::FromBytes(b, 29);
    EXPECT_EQ(r.Current, 0x0201);
    EXPECT_EQ(r.Voltage, 0x0403);
    EXPECT_EQ(r.Temperature, 0x0605);
    EXPECT_EQ(r.ThrottleLevel, 0x0807);
    EXPECT_EQ(r.TempMcu, 0x0a09);
    EXPECT_EQ(r.AvgCurrent, 0x0c0b);
    EXPECT_EQ(r.AvgSpeed, 0x0e0d);
    EXPECT_EQ(r.TimingDelay, 0x100f);
    EXPECT_EQ(r.Mode, 17);
    EXPECT_EQ(r.Address, 18);
    EXPECT_EQ(r.Flags, 19);
    EXPECT_EQ(r.InputPwm, 0x1514);  // the odd offsets from 19 on
    EXPECT_EQ(r.InputI2c, 0x1716);
    EXPECT_EQ(r.InputCan, 0x1918);
    EXPECT_EQ(r.InputPc, 0x1b1a);
    EXPECT_EQ(r.Debug, 0x1d1c);
    // Channel order of the graph against the record's fields.
    const double channels[13] = {0x0807, 0x0201, 0x0c0b, 0x0403, 0x0605, 0x0a09, 0x0e0d,
                                 0x100f, 0x1918, 0x1716, 0x1514, 0x1b1a, 0x1d1c};
    for (int i = 0; i < 13; ++i) EXPECT_EQ(r.Channel(i), channels[i]) << i;
    // A short record leaves the tail zero.
    const StatusRecord shortOne = StatusRecord::FromBytes(b, 3);
    EXPECT_EQ(shortOne.Current, 0x0201);
    EXPECT_EQ(shortOne.Voltage, 0x0003);
    EXPECT_EQ(shortOne.Debug, 0);
}

TEST_F(FrameStatus, InitializeSetsUpThirteenChannelsShowingThrottleCurrentAndSpeed) {
    ASSERT_EQ(frame.CheckListBox1->count(), 13);
    EXPECT_EQ(frame.FrameGraph1->BackColor, QColor(255, 255, 255));
    struct Case {
        int index;
        const char* name;
        double scale;
        QColor color;
        bool shown;
    } cases[] = {
        {0, "Throttle (%)", 0.1, QColor(255, 0, 0), true},
        {1, "Current (A)", 0.1, QColor(0, 0, 255), true},
        {2, "Averrage Current (A)", 0.1, QColor(128, 128, 0), false},
        {6, "Averrage Speed (rpm)", 1.0, QColor(0, 128, 128), true},
        {7, "Timig delay (mks)", 1.0, QColor(255, 128, 0), false},
        {8, "Input CAN", 1.0, QColor(96, 96, 96), false},
        {12, "Debug", 1.0, QColor(160, 82, 45), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(frame.CheckListBox1->item(c.index)->text(), QString::fromLatin1(c.name));
        EXPECT_EQ(frame.CheckListBox1->item(c.index)->checkState(), c.shown ? Qt::Checked : Qt::Unchecked);
        EXPECT_EQ(Buffer(c.index).Scale, c.scale);
        EXPECT_EQ(Buffer(c.index).Color, c.color);
        EXPECT_EQ(Buffer(c.index).Visible, c.shown) << c.name;
    }
    EXPECT_EQ(frame.FrameGraph1->ChannelName(13), QStringLiteral("Noname"));
}

TEST_F(FrameStatus, RepliesFillTheGraphAndThePanel) {
    struct Case {
        const char* what;
        std::vector<uint8_t> payload;
        double current, voltage, debug;
        int mode, address;
        uint8_t flags;
    } cases[] = {
        {"command byte alone", {zuq::Cmd::Status}, 0, 0, 0, 0, 0, 0},
        {"0xFFFF", StatusPayload({{0, 0xff}, {1, 0xff}, {2, 0xff}, {3, 0xff}}), -1, 65535, 0, 0, 0, 0},
        {"mode 200", StatusPayload({{16, 200}, {17, 7}}), 0, 0, 0, 16, 7, 0},
        {"Sound", StatusPayload({{18, 0x80}}), 0, 0, 0, 0, 0, 0x80},
        {"Test", StatusPayload({{18, 0x20}}), 0, 0, 0, 0, 0, 0x20},
        {"Short-circuit", StatusPayload({{18, 0x40}}), 0, 0, 0, 0, 0, 0x40},
        {"Stopped and Overload", StatusPayload({{18, 0x09}}), 0, 0, 0, 0, 0, 0x09},
        {"long payload cut", StatusPayload({{27, 0xfe}, {28, 0xff}, {29, 0x55}}, 40), 0, 0, -2, 0, 0, 0},
    };
    const char* captions[8] = {"Stopped",  "Starting", "Overheat",      "Overload",
                               "Blocking", "Test",     "Short-circuit", "Sound"};
    int samples = 0;
    for (const Case& c : cases) {
        for (int bit = 0; bit < 8; ++bit) frame.FlagBoxes[bit]->setChecked(true);  // all must be rewritten
        EXPECT_TRUE(Reply(c.payload)) << c.what;
        ++samples;
        EXPECT_EQ(Buffer(1).GetCount(), samples) << c.what;
        EXPECT_EQ(Newest(1), c.current) << c.what;
        EXPECT_EQ(Newest(3), c.voltage) << c.what;
        EXPECT_EQ(Newest(12), c.debug) << c.what;
        EXPECT_EQ(frame.MaskEditUpDown12->GetIntValue(), c.mode) << c.what;
        EXPECT_EQ(frame.MaskEditUpDown13->GetIntValue(), c.address) << c.what;
        for (int bit = 0; bit < 8; ++bit) {
            EXPECT_EQ(frame.FlagBoxes[bit]->text(), QString::fromLatin1(captions[bit]));
            EXPECT_EQ(frame.FlagBoxes[bit]->isChecked(), ((c.flags >> bit) & 1) != 0)
                << c.what << " bit " << bit;
        }
    }
    EXPECT_EQ(frame.CheckBox1, frame.FlagBoxes[7]);
    EXPECT_EQ(frame.CheckBox2, frame.FlagBoxes[5]);
    // Other replies pass untouched.
    const std::vector<uint8_t> other = {zuq::Cmd::Echo, 1, 2};
    EXPECT_TRUE(Reply(other));
    EXPECT_EQ(Buffer(1).GetCount(), samples);
}

TEST_F(FrameStatus, RequestsCarryTheRefreshRateWhileUpdateIsPressed) {
    EXPECT_TRUE(frame.ASpeedButton1->isChecked());
    EXPECT_EQ(frame.ASpeedButton1->text(), QStringLiteral("UPDATE"));
    EXPECT_EQ(frame.MaskEditUpDown1->GetIntValue(), 20);
    frame.RequestStatus();
    auto sent = peer.ReadPackets(1, 5000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 0x01);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 20}));
    // Every request re-applies the stored record: one more sample per channel.
    EXPECT_EQ(Buffer(0).GetCount(), 1);

    // The net bit goes into the channel byte.
    frame.NetBit = 0x80;
    frame.MaskEditUpDown1->SetValue(250);
    frame.RequestStatus();
    sent = peer.ReadPackets(1, 5000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 0x81);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 250}));

    // Releasing UPDATE sends a request with 0 at once; replies then refresh the panel but add no samples.
    frame.NetBit = 0;
    QTest::mouseClick(frame.ASpeedButton1, Qt::LeftButton);
    EXPECT_FALSE(frame.ActionLogUpdate->isChecked());
    EXPECT_FALSE(frame.ASpeedButton1->isChecked());
    sent = peer.ReadPackets(1, 5000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 0}));
    const int count = Buffer(0).GetCount();
    Reply(StatusPayload({{16, 5}, {18, 0x04}}));
    EXPECT_EQ(Buffer(0).GetCount(), count);
    EXPECT_EQ(frame.MaskEditUpDown12->GetIntValue(), 5);
    EXPECT_TRUE(frame.CheckBox9->isChecked());
    frame.Timer1Timer();
    sent = peer.ReadPackets(1, 5000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 0}));
    EXPECT_EQ(Buffer(0).GetCount(), count);

    // Pressing it again asks with the refresh rate.
    QTest::mouseClick(frame.ASpeedButton1, Qt::LeftButton);
    EXPECT_TRUE(frame.ASpeedButton1->isChecked());
    sent = peer.ReadPackets(1, 5000);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 250}));
}

TEST_F(FrameStatus, NoRequestWhileDisconnectedButTheRecordRepeats) {
    Reply(StatusPayload({{0, 42}}));
    link.ComRW->SetActive(false);
    frame.RequestStatus();
    frame.RequestStatus();
    EXPECT_TRUE(peer.Drain(100).empty());
    EXPECT_EQ(Buffer(1).GetCount(), 3);
    EXPECT_EQ(Newest(1), 42);
}

TEST_F(FrameStatus, ClearDropsAllSamples) {
    Reply(StatusPayload({{0, 42}}));
    frame.ActionClearLog->trigger();
    EXPECT_EQ(Buffer(1).GetCount(), 0);
    EXPECT_EQ(frame.ActionClearLog->text(), QStringLiteral("CLEAR"));
}

TEST_F(FrameStatus, CheckingChannelsShowsThemAndRefitsTheRange) {
    Reply(StatusPayload({{0, 100}, {2, 50}}));   // Current 100, Voltage 50
    Reply(StatusPayload({{0, 200}, {2, 250}}));  // Current 200, Voltage 250
    for (const int shownAtStart : {0, 6})
        frame.CheckListBox1->item(shownAtStart)->setCheckState(Qt::Unchecked);
    frame.CheckListBox1->item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE(Buffer(1).Visible);
    EXPECT_FALSE(Buffer(3).Visible);
    EXPECT_EQ(frame.FrameGraph1->YMin, 100);
    EXPECT_EQ(frame.FrameGraph1->YMax, 200);
    frame.CheckListBox1->item(3)->setCheckState(Qt::Checked);
    EXPECT_EQ(frame.FrameGraph1->YMin, 50);
    EXPECT_EQ(frame.FrameGraph1->YMax, 250);
    frame.CheckListBox1->item(1)->setCheckState(Qt::Unchecked);
    frame.CheckListBox1->item(3)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(frame.FrameGraph1->YMin, 2147483647.0);
}

TEST_F(FrameStatus, ChannelListShowsScaledValueBeforeTheColourSquare) {
    Reply(StatusPayload({{0, 123}, {12, 0xd2}, {13, 0x04}}));  // Current 123, AvgSpeed 1234
    struct Case {
        int index;
        const char* name;
        const char* value;
    } cases[] = {{1, "Current (A)", "12.3"}, {6, "Averrage Speed (rpm)", "1234"}, {0, "Throttle (%)", "0.0"}};
    for (const Case& c : cases) {
        TRecordingDevice device(300, 24);
        QPainter painter(&device);
        frame.CheckListBox1DrawItem(painter, c.index, QRect(20, 0, 200, 24));
        const QFontMetrics metrics = painter.fontMetrics();
        painter.end();
        const TRecordingEngine& e = device.Engine();
        ASSERT_EQ(e.Texts.size(), 2u) << c.name;
        EXPECT_EQ(e.Texts[0].text, QString::fromLatin1(c.name));
        EXPECT_EQ(e.Texts[0].baseline.x(), 20);
        const QString value = QString::fromLatin1(c.value).replace('.', QLocale::system().decimalPoint());
        EXPECT_EQ(e.Texts[1].text, value);
        // Right-aligned, ending 2 pixels left of the swatch that fills the last 24 pixels.
        const int width = metrics.horizontalAdvance(value);
        EXPECT_EQ(e.Texts[1].baseline.x(), 220 - 24 - width - 2) << c.name;
    }
    // The graph itself plots the raw value.
    EXPECT_EQ(Newest(1), 123);
}
