#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "link/Waiter.h"
#include "config/configFile.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "readOnlyFolder.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {

std::vector<uint8_t> DataReply(const ConfigRecord& r, size_t argBytes = ConfigRecordSize) {
    const TConfigBytes b = r.ToBytes();
    std::vector<uint8_t> payload{zuq::Cmd::ConfigData};
    payload.insert(payload.end(), b.begin(), b.begin() + std::ptrdiff_t(argBytes));
    return payload;
}

std::string TextOf(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll().toStdString();
}

struct FrameConfig : ::testing::Test {
    FrameConfig() {
        link.InitPort({}, {}, {});
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        frame.Initialize(link.Port(), 0, [this](const QString& line) { log << line; });
        frame.ShowError = [this](const QString& text) { errors << text; };
    }
    ~FrameConfig() override { TMaskEditUpDown::SetDecimalSeparator('.'); }

    bool Reply(const std::vector<uint8_t>& payload) {
        return frame.HandleReply(payload.data(), uint8_t(payload.size()));
    }
    // The writer thread puts packets on the line without the event loop; not running it keeps the real
    // timers of the waiter and the detection sequence out of the tests, which step them themselves.
    std::vector<TPeerPacket> Sent(size_t count) { return peer.ReadPackets(count, 5000); }
    std::vector<TPeerPacket> SentSoFar() { return peer.Drain(50); }
    // Runs the waiter's ticks of one wait (as its 100 ms timer would), without waiting.
    void ExpireWait() {
        for (int i = frame.Waiter->Remaining(); i > 0 && frame.Waiter->Active(); --i) frame.Waiter->Tick();
    }
    void SetMode(int n) {
        frame.MaskEditUpDown2->SetValue(n);
        frame.ShowRecord();
    }
    // Types a value into a field and commits it with Enter, as an operator does.
    static void Type(TMaskEditUpDown* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    TPtyPeer peer;
    TFrameConnectPort link;
    TFrameConfigVek frame;
    QStringList log;
    QStringList errors;
};

TEST_F(FrameConfig, ConfigDataReplies) {
    SetMode(2);
    frame.MaskEditUpDown5->SetValue(42);  // an edit on screen that a redraw of record 2 discards
    ConfigRecord five = ConfigRecord::Defaults(5);
    five.poles = 24;
    EXPECT_FALSE(Reply(DataReply(five)));
    EXPECT_EQ(frame.Records[5], five);
    EXPECT_EQ(frame.MaskEditUpDown16->text(), "12") << "record 2 stays on screen";
    EXPECT_EQ(frame.MaskEditUpDown5->text(), "30");
    EXPECT_EQ(log.last(), "Config #5 v0.3 downloaded.");

    // 20 argument bytes: stored with the rest as zero.
    ConfigRecord part = ConfigRecord::Defaults(6);
    EXPECT_FALSE(Reply(DataReply(part, 20)));
    const TConfigBytes stored = frame.Records[6].ToBytes();
    const TConfigBytes full = part.ToBytes();
    EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + 20, full.begin()));
    EXPECT_TRUE(std::all_of(stored.begin() + 20, stored.end(), [](uint8_t b) { return b == 0; }));

    // Number 17 and a spoiled signature change nothing; the prefix names the active link.
    link.Port()->ActiveLink = 3;
    const auto before = frame.Records;
    ConfigRecord bad = ConfigRecord::Defaults(0);
    bad.Number = 17;
    EXPECT_FALSE(Reply(DataReply(bad)));
    EXPECT_EQ(log.last(), "Vek#3: Config #17 is corrupted.");
    bad = ConfigRecord::Defaults(4);
    bad.Signature[2] = 'X';
    EXPECT_FALSE(Reply(DataReply(bad)));
    EXPECT_EQ(log.last(), "Vek#3: Config #4 is corrupted.");
    EXPECT_EQ(frame.Records, before);
    // A bare code reads as an all-zero record.
    EXPECT_FALSE(Reply({zuq::Cmd::ConfigData}));
    EXPECT_EQ(log.last(), "Vek#3: Config #0 is corrupted.");
}

TEST_F(FrameConfig, GetWithoutAnswerRetriesFourTimes) {
    link.Port()->ActiveLink = 1;
    frame.NetBit = zuq::NetBit;
    SetMode(4);
    frame.ActionGetExecute();
    int requests = 0;
    for (int expiry = 0; expiry < 4; ++expiry) {
        ASSERT_TRUE(frame.Waiter->Active()) << "expiry " << expiry;
        EXPECT_EQ(frame.Waiter->Remaining(), 20);
        ExpireWait();
    }
    EXPECT_FALSE(frame.Waiter->Active());
    const QStringList expected = {
        "Vek#1: Downloading CONFIG #4 data...",       "Vek#1: CONFIG downloading failed!",
        "Vek#1: Downloading CONFIG #4 data...",       "Vek#1: CONFIG downloading failed!",
        "Vek#1: Retry downloading CONFIG #4 data...", "Vek#1: CONFIG downloading failed!",
        "Vek#1: Retry downloading CONFIG #4 data...", "Vek#1: CONFIG downloading failed!",
    };
    EXPECT_EQ(log, expected);
    for (const TPeerPacket& p : Sent(4)) {
        EXPECT_EQ(p.channel, 0x81);
        EXPECT_EQ(p.payload, (std::vector<uint8_t>{zuq::Cmd::ConfigGet, 4}));
        ++requests;
    }
    EXPECT_EQ(requests, 4);
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(frame.Records[4], ConfigRecord::Defaults(4)) << "a record that fails stays as it was";
}

TEST_F(FrameConfig, GetAllReadsInAscendingOrderOneAtATime) {
    frame.ActionGetAllExecute();
    for (int n = 0; n < ConfigRecordCount; ++n) {
        const auto sent = Sent(1);
        ASSERT_EQ(sent.size(), 1u) << "record " << n;
        EXPECT_EQ(sent[0].channel, 0x01);
        EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::ConfigGet, uint8_t(n)}));
        EXPECT_TRUE(SentSoFar().empty()) << "one request at a time";
        ConfigRecord r = ConfigRecord::Defaults(uint8_t(n));
        r.poles = uint8_t(20 + n);
        Reply(DataReply(r));
    }
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_TRUE(std::all_of(frame.Pending.begin(), frame.Pending.end(), [](int p) { return p == 0; }));
    for (int n = 0; n < ConfigRecordCount; ++n) EXPECT_EQ(frame.Records[n].poles, 20 + n);
    EXPECT_EQ(log.first(), "Downloading CONFIG #0 data...");
    EXPECT_EQ(log.last(), "Config #16 v0.3 downloaded.");
    EXPECT_EQ(log.count("CONFIG downloading failed!"), 0);
}

TEST_F(FrameConfig, UploadAcknowledgements) {
    SetMode(2);
    frame.ActionFlashExecute();
    auto sent = Sent(1);
    ASSERT_EQ(sent.size(), 1u);
    std::vector<uint8_t> expected{zuq::Cmd::ConfigFlash};
    const TConfigBytes two = frame.Records[2].ToBytes();
    expected.insert(expected.end(), two.begin(), two.end());
    EXPECT_EQ(sent[0].payload, expected);
    EXPECT_EQ(log.last(), "Uploading CONFIG #2 data...");

    // Only byte 1 = 0x18 completes a write; other acknowledgements are taken and ignored.
    const QStringList logBefore = log;
    EXPECT_FALSE(Reply({zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigFlash}));
    EXPECT_FALSE(Reply({zuq::Cmd::ConfigUploaded}));
    EXPECT_EQ(log, logBefore);
    EXPECT_EQ(frame.Pending[2], 3);
    EXPECT_TRUE(frame.Waiter->Active());

    EXPECT_FALSE(Reply({zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigSet}));
    EXPECT_EQ(log.last(), "Config #2 uploaded.");
    EXPECT_EQ(frame.Pending[2], 0);
    frame.Waiter->Tick();
    EXPECT_FALSE(frame.Waiter->Active());
    EXPECT_TRUE(SentSoFar().empty());
}

TEST_F(FrameConfig, FlashRetriesAndSetDoesNot) {
    SetMode(1);
    frame.ActionFlashExecute();
    for (int i = 0; i < 4; ++i) ExpireWait();
    EXPECT_EQ(log, (QStringList{"Uploading CONFIG #1 data...", "CONFIG uploading failed!",
                                "Uploading CONFIG #1 data...", "CONFIG uploading failed!",
                                "Retry uploading CONFIG #1 data...", "CONFIG uploading failed!",
                                "Retry uploading CONFIG #1 data...", "CONFIG uploading failed!"}));
    EXPECT_EQ(Sent(4).size(), 4u);

    log.clear();
    frame.ActionSetExecute();
    ExpireWait();
    EXPECT_EQ(log, (QStringList{"Uploading CONFIG #1 data...", "CONFIG uploading failed!"}));
    const auto sent = Sent(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload[0], zuq::Cmd::ConfigSet);
    EXPECT_TRUE(SentSoFar().empty());
}

TEST_F(FrameConfig, FlashAllSendsEveryRecordInOrder) {
    frame.Records[9].Number = 3;  // renumbered to its slot before it goes out
    SetMode(5);
    frame.MaskEditUpDown16->SetValue(30);  // an edit on screen goes out with its record
    frame.ActionSetAllExecute();
    for (int n = 0; n < ConfigRecordCount; ++n) {
        const auto sent = Sent(1);
        ASSERT_EQ(sent.size(), 1u) << n;
        ASSERT_EQ(sent[0].payload.size(), 52u);
        EXPECT_EQ(sent[0].payload[0], zuq::Cmd::ConfigFlash);
        EXPECT_EQ(sent[0].payload[1 + 6], n) << "Number";
        EXPECT_EQ(sent[0].payload[1 + 38], n == 5 ? 30 : 12) << "poles of record " << n;
        Reply({zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigSet});
    }
    EXPECT_TRUE(SentSoFar().empty());
    EXPECT_EQ(log.count(), 34);
    EXPECT_EQ(log.last(), "Config #16 uploaded.");
}

TEST_F(FrameConfig, DetectionReadsTheRecordInUse) {
    EXPECT_FALSE(Reply({zuq::Cmd::Detected}));
    EXPECT_EQ(log.last(), "Vek detected.");
    EXPECT_TRUE(frame.Timer3->isActive());
    EXPECT_EQ(frame.Timer3->interval(), 200);
    frame.Timer3->stop();  // the test steps the sequence itself
    frame.Timer3Timer();
    frame.Timer3Timer();
    frame.Timer3Timer();  // no status yet: asked again
    auto sent = Sent(2);
    ASSERT_EQ(sent.size(), 2u);
    for (const auto& p : sent) EXPECT_EQ(p.payload, (std::vector<uint8_t>{zuq::Cmd::StatusRequest, 0}));

    std::vector<uint8_t> status(30, 0);
    status[0] = zuq::Cmd::Status;
    status[1 + 16] = 3;  // Mode
    EXPECT_TRUE(Reply(status)) << "the status frame decodes it as well";
    frame.Timer3Timer();
    frame.Timer3Timer();
    EXPECT_EQ(frame.MaskEditUpDown2->GetIntValue(), 3);
    sent = Sent(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, (std::vector<uint8_t>{zuq::Cmd::ConfigGet, 3}));
    frame.Timer3Timer();
    EXPECT_FALSE(frame.Timer3->isActive());
    EXPECT_EQ(frame.DetectState, 0);

    // Mode 16 shows as 15, the field's maximum.
    status[1 + 16] = 16;
    Reply({zuq::Cmd::Detected});
    frame.Timer3->stop();
    frame.Timer3Timer();
    Reply(status);
    frame.Timer3Timer();
    frame.Timer3Timer();
    EXPECT_EQ(frame.MaskEditUpDown2->text(), "15");
}

TEST_F(FrameConfig, OtherReplies) {
    EXPECT_FALSE(Reply({zuq::Cmd::Echo}));
    EXPECT_EQ(log.last(), "Echo is received.");
    EXPECT_FALSE(Reply({zuq::Cmd::Identify,
                        '1',
                        '.',
                        '0',
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0,
                        0xAB,
                        0x56,
                        0x34,
                        0x12}));
    EXPECT_EQ(log.last(), "FW: 1.0 SN: 123456AB");
    EXPECT_TRUE(frame.Identified);
    EXPECT_FALSE(Reply({zuq::Cmd::Identify, 'v', '2'}));
    EXPECT_EQ(log.last(), "FW: v2 SN: 00000000");
    EXPECT_TRUE(Reply({zuq::Cmd::Throttle, 1, 2}));
    EXPECT_TRUE(frame.HandleReply(nullptr, 0));
}

TEST_F(FrameConfig, ActionEnabling) {
    struct Case {
        bool open;
        uint8_t activeLink;
        uint8_t netBit;
        bool enabled;
    };
    const Case cases[] = {
        {true, 255, 0x00, true}, {true, 255, 0x80, false}, {true, 2, 0x80, true},
        {true, 2, 0x00, true},   {false, 2, 0x00, false},  {false, 255, 0x00, false},
    };
    for (const Case& c : cases) {
        link.ComRW->SetActive(c.open);
        link.Port()->ActiveLink = c.activeLink;
        frame.NetBit = c.netBit;
        frame.ActionGetUpdate();
        for (QAction* a :
             {frame.ActionGet, frame.ActionSet, frame.ActionFlash, frame.ActionGetAll, frame.ActionSetAll})
            EXPECT_EQ(a->isEnabled(), c.enabled) << a->text().toStdString() << " open " << c.open << " link "
                                                 << int(c.activeLink) << " net " << int(c.netBit);
        for (QAction* a :
             {frame.ActionOpenConfig, frame.ActionSaveConfig, frame.ActionOpenAll, frame.ActionSaveAll})
            EXPECT_TRUE(a->isEnabled());
    }
    // A closed port sends nothing; Set still takes the screen into the record.
    frame.MaskEditUpDown16->SetValue(40);
    frame.ActionSetExecute();
    frame.ActionGetExecute();
    EXPECT_EQ(frame.Records[0].poles, 40);
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(FrameConfig, ScreenMapping) {
    SetMode(0);
    frame.ComboBox1->setCurrentIndex(0);  // Timing "Auto"
    frame.ComboBox2->setCurrentIndex(frame.ComboBox2->findText("40000 Hz"));
    frame.ComboBox4->setCurrentIndex(frame.ComboBox4->findText("Octo"));
    frame.MaskEditUpDown20->SetValue(-10);
    frame.MaskEditUpDown5->setText("12.3");
    frame.MaskEditUpDown7->setText("12.25");  // halves to even: 122
    frame.MaskEditUpDown31->SetValue(-100);
    frame.MaskEditUpDown3->SetValue(0.1);
    frame.ActionSetExecute();
    const auto sent = Sent(1);
    ASSERT_EQ(sent.size(), 1u);
    const ConfigRecord r = ConfigRecord::FromBytes(sent[0].payload.data() + 1, sent[0].payload.size() - 1);
    EXPECT_EQ(uint8_t(r.Timing), 0xFF);
    EXPECT_EQ(r.Freq_PWM, 40000);
    EXPECT_EQ(r.musicDivide, 0) << "Octo stored as Together";
    EXPECT_EQ(r.musicTempo, 20);
    EXPECT_EQ(r.Max_Current, 123);
    EXPECT_EQ(r.Limit_Temp, 122);
    EXPECT_EQ(r.deAccel, -100);
    EXPECT_EQ(r.Scale_Current, 0.1f);
    frame.MaskEditUpDown20->SetValue(10);
    frame.CaptureRecord();
    EXPECT_EQ(frame.Records[0].musicTempo, 0);

    // Shown through the fields' ranges: 0.5 A shows as the minimum 1 A and a capture stores 10.
    frame.Records[0].Max_Current = 5;
    frame.Records[0].Version = 0x0102;
    frame.Records[0].map = 7;
    frame.Records[0].Flags = 0xF000 | ConfigFlag::Turbo;
    frame.ShowRecord();
    EXPECT_EQ(frame.MaskEditUpDown5->text(), "1");
    EXPECT_EQ(frame.GroupBoxConfig->title(), " Config v 1.2 ");
    EXPECT_EQ(frame.ComboBox5->currentIndex(), 0);
    EXPECT_TRUE(frame.CheckBox8->isChecked());
    frame.CaptureRecord();
    EXPECT_EQ(frame.Records[0].Max_Current, 10);
    EXPECT_EQ(frame.Records[0].map, 0);
    EXPECT_EQ(frame.Records[0].Flags, ConfigFlag::Turbo) << "bits 12..15 are cleared";
}

TEST_F(FrameConfig, StoredValuesOutsideTheListsSurvive) {
    SetMode(3);
    frame.Records[3].Freq_PWM = 7000;
    frame.Records[3].Timing = 40;
    frame.Records[3].musicIx = 9;
    frame.Records[3].musicDivide = 5;
    frame.ShowRecord();
    EXPECT_EQ(frame.ComboBox2->currentText(), "7000 Hz (stored)");
    EXPECT_EQ(frame.ComboBox1->currentText(), "40 (stored)");
    EXPECT_EQ(frame.ComboBox4->currentIndex(), 0);
    frame.CaptureRecord();
    EXPECT_EQ(frame.Records[3].Freq_PWM, 7000);
    EXPECT_EQ(frame.Records[3].Timing, 40);
    EXPECT_EQ(frame.Records[3].musicIx, 9);
    EXPECT_EQ(frame.Records[3].musicDivide, 0);
    // Picking a regular entry replaces the stored value; the next record shows no stale extra entry.
    frame.ComboBox2->setCurrentIndex(1);
    frame.CaptureRecord();
    EXPECT_EQ(frame.Records[3].Freq_PWM, 12000);
    SetMode(4);
    EXPECT_EQ(frame.ComboBox2->count(), 9);
    EXPECT_EQ(frame.ComboBox1->count(), 32);
    EXPECT_EQ(frame.ComboBox3->count(), 7);
}

TEST_F(FrameConfig, ShowThenCaptureKeepsARecordInRange) {
    ConfigRecord r = ConfigRecord::Defaults(6);
    r.Version = 0x0304;
    r.Flags = 0x0FFF & ~ConfigFlag::SigmaDelta;
    r.Scale_Current = 1.234f;
    r.Scale_Voltmeter = 0.5f;
    r.Timing = 30;
    r.Freq_PWM = 24000;
    r.Max_Current = 1999;
    r.Limit_Current = 10;
    r.Limit_Temp = 1500;
    r.min_PWM = 500;
    r.max_PWM = 50;
    r.start_PWM = 400;
    r.accel_PWM = 1;
    r.safe_PWM = 0;
    r.off_Bat = 500;
    r.poles = 100;
    r.baseAddr = 32;
    r.musicIx = 6;
    r.musicVolume = 100;
    r.musicTempo = 13;
    r.PWMFilter = 10;
    r.SlowStart = 100;
    r.musicDivide = 3;
    r.deAccel = -7;
    r.map = 3;
    r.asyncLevel = 2;
    r.asyncLevel2 = 60;
    r.neutral3D = 100;
    frame.Records[6] = r;
    SetMode(6);
    frame.CaptureRecord();
    EXPECT_EQ(frame.Records[6], r);
}

TEST_F(FrameConfig, SmartAndSigmaDeltaExcludeEachOther) {
    frame.show();
    QTest::mouseClick(frame.CheckBox14, Qt::LeftButton);
    EXPECT_TRUE(frame.CheckBox14->isChecked());
    QTest::mouseClick(frame.CheckBox7, Qt::LeftButton);
    EXPECT_TRUE(frame.CheckBox7->isChecked());
    EXPECT_FALSE(frame.CheckBox14->isChecked());
    QTest::mouseClick(frame.CheckBox7, Qt::LeftButton);  // unchecking changes nothing else
    EXPECT_FALSE(frame.CheckBox7->isChecked());
    EXPECT_FALSE(frame.CheckBox14->isChecked());
    QTest::mouseClick(frame.CheckBox7, Qt::LeftButton);
    QTest::mouseClick(frame.CheckBox14, Qt::LeftButton);
    EXPECT_FALSE(frame.CheckBox7->isChecked());
    // A record with both bits shows both: only the operator's clicks exclude.
    frame.Records[0].Flags = ConfigFlag::Smart | ConfigFlag::SigmaDelta;
    frame.ShowRecord();
    EXPECT_TRUE(frame.CheckBox7->isChecked() && frame.CheckBox14->isChecked());
}

TEST_F(FrameConfig, ChangingModeCapturesTheRecordBeingLeft) {
    frame.show();
    frame.Records[3].Version = 0x0102;
    frame.Records[3].poles = 8;
    SetMode(2);
    Type(frame.MaskEditUpDown16, "14");
    Type(frame.MaskEditUpDown2, "3");
    EXPECT_EQ(frame.Records[2].poles, 14);
    EXPECT_EQ(frame.MaskEditUpDown16->text(), "8");
    EXPECT_EQ(frame.GroupBoxConfig->title(), " Config v 1.2 ");
    // The spin button's arrow does the same.
    Type(frame.MaskEditUpDown16, "20");
    frame.MaskEditUpDown2->StepDown();
    EXPECT_EQ(frame.MaskEditUpDown2->text(), "2");
    EXPECT_EQ(frame.Records[3].poles, 20);
    EXPECT_EQ(frame.MaskEditUpDown16->text(), "14");
    EXPECT_EQ(frame.GroupBoxConfig->title(), " Config v 0.3 ");
}

TEST_F(FrameConfig, UncommittedModeTextDoesNotMoveEdits) {
    frame.show();
    SetMode(2);
    Type(frame.MaskEditUpDown16, "14");
    frame.MaskEditUpDown2->setText("5");  // typed, no Enter: the controls still hold record 2
    frame.ActionSetExecute();
    EXPECT_EQ(frame.Records[2].poles, 14);
    EXPECT_EQ(frame.Records[5].poles, 12);
    const auto sent = Sent(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload[1 + 6], 5) << "record 5 goes out";
    EXPECT_EQ(sent[0].payload[1 + 38], 12);
    EXPECT_EQ(frame.MaskEditUpDown16->text(), "12") << "record 5 is on screen";
}

// ---- files ----

struct FrameConfigFiles : FrameConfig {
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    void SaveAs(const QString& path, bool all = false) {
        frame.AskSaveFileName = [path] { return path; };
        all ? frame.ActionSaveAllExecute() : frame.ActionSaveConfigExecute();
    }
    void OpenFrom(const QString& path, bool all = false) {
        frame.AskOpenFileName = [path] { return path; };
        all ? frame.ActionOpenAllExecute() : frame.ActionOpenConfigExecute();
    }
    QTemporaryDir dir;
};

const char* const DefaultSaveText =
    "[Config]\r\nVersion=3\r\nFlags=1\r\nScale_Current=1\r\nScale_Voltmeter=1\r\nTiming=-1\r\n"
    "Freq_PWM=8000\r\nMax_Current=300\r\nLimit_Current=150\r\nLimit_Temp=900\r\nmin_PWM=40\r\n"
    "max_PWM=950\r\nstart_PWM=80\r\naccel_PWM=100\r\ndeAccel=0\r\nsafe_PWM=150\r\noff_Bat=90\r\npoles=12\r\n"
    "musicIx=0\r\nmusicDivide=0\r\nmusicVolume=1\r\nmusicTempo=0\r\nbaseAddr=0\r\nPWMFilter=0\r\n"
    "SlowStart=0\r\nmap=0\r\nasyncLevel=40\r\nasyncLevel2=40\r\n";

TEST_F(FrameConfigFiles, DefaultSaveByteForByte) {
    SaveAs(Path("default.cfg"));
    EXPECT_EQ(TextOf(Path("default.cfg")), DefaultSaveText);
    EXPECT_EQ(log.last(), "File " + QDir::toNativeSeparators(Path("default.cfg")) + " is saved");
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(FrameConfigFiles, SaveThenOpenIntoAnotherRecord) {
    for (QChar separator : {QChar('.'), QChar(',')}) {
        TMaskEditUpDown::SetDecimalSeparator(separator);
        SetMode(3);
        frame.MaskEditUpDown3->SetValue(0.1);
        frame.MaskEditUpDown16->SetValue(22);
        SaveAs(Path("three.cfg"));
        const std::string text = TextOf(Path("three.cfg"));
        EXPECT_NE(
            text.find(std::string("Scale_Current=0") + char(separator.toLatin1()) + "100000001490116\r\n"),
            std::string::npos)
            << text;

        // Read where the other separator is in use: the factor is kept.
        TMaskEditUpDown::SetDecimalSeparator(separator == '.' ? ',' : '.');
        SetMode(7);
        OpenFrom(Path("three.cfg"));
        EXPECT_EQ(log.last(), "File " + QDir::toNativeSeparators(Path("three.cfg")) + " is opened");
        ConfigRecord expected = frame.Records[3];
        expected.Number = 7;
        EXPECT_EQ(frame.Records[7], expected);
        EXPECT_EQ(frame.MaskEditUpDown16->text(), "22");
    }
    // A file without the section changes nothing and is still reported as opened.
    QFile other(Path("other.cfg"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("[Config5]\r\npoles=90\r\n");
    other.close();
    const auto before = frame.Records;
    OpenFrom(Path("other.cfg"));
    EXPECT_EQ(frame.Records, before);
    EXPECT_TRUE(log.last().endsWith("other.cfg is opened"));
    EXPECT_EQ(TextOf(Path("other.cfg")), "[Config5]\r\npoles=90\r\n") << "opening never writes";
}

TEST_F(FrameConfigFiles, SaveAllOpenAllAndSaveIntoIt) {
    for (int n = 0; n < ConfigRecordCount; ++n) frame.Records[n].poles = uint8_t(30 + n);
    SetMode(0);
    SaveAs(Path("all.cfg"), true);
    const std::string all = TextOf(Path("all.cfg"));
    EXPECT_EQ(std::count(all.begin(), all.end(), '['), 17);
    EXPECT_EQ(std::count(all.begin(), all.end(), '='), 17 * 27);

    SetMode(5);
    frame.MaskEditUpDown16->SetValue(77);
    SaveAs(Path("all.cfg"));
    const std::string after = TextOf(Path("all.cfg"));
    EXPECT_EQ(after.substr(0, all.size()), all) << "the 17 sections stay as they were";
    EXPECT_EQ(after.substr(all.size(), 12), "\r\n[Config]\r\n");

    for (int n = 0; n < ConfigRecordCount; ++n) frame.Records[n] = ConfigRecord::Defaults(uint8_t(n));
    SetMode(0);
    OpenFrom(Path("all.cfg"), true);
    for (int n = 0; n < ConfigRecordCount; ++n) EXPECT_EQ(frame.Records[n].poles, 30 + n) << n;
    EXPECT_EQ(frame.MaskEditUpDown16->text(), "30");
}

TEST_F(FrameConfigFiles, FailedSaveKeepsTheOldFileAndSaysWhy) {
    const QString folder = Path("locked");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/motor.cfg";
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("[Config]\r\nFlags=5\r\n");
    }
    {
        TReadOnlyFolder locked(folder);
        if (!locked.Effective()) GTEST_SKIP() << "cannot make a folder read-only here";
        SaveAs(path);
    }
    EXPECT_EQ(TextOf(path), "[Config]\r\nFlags=5\r\n");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith("File " + QDir::toNativeSeparators(path) + " is not saved: "))
        << errors[0].toStdString();
    EXPECT_EQ(log.last(), errors[0]);
    EXPECT_EQ(log.filter("is saved").size(), 0);

    // Cancelled dialogs do nothing.
    log.clear();
    SaveAs(QString());
    OpenFrom(QString());
    EXPECT_TRUE(log.isEmpty());
    // A missing file to open says why and changes nothing.
    OpenFrom(Path("missing.cfg"));
    EXPECT_EQ(errors.size(), 2);
    EXPECT_TRUE(log.last().contains("is not opened"));
}

}  // namespace
