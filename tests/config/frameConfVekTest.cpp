// The configuration frame's own behaviour: the operator's actions while a transfer runs, the screen and
// its record, "Mode :" edits, and the file actions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QTemporaryDir>
#include <QTest>

#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "transferScript.h"

namespace {

const std::vector<uint8_t> Ack{zuq::Cmd::ConfigUploaded, zuq::Cmd::ConfigSet};

struct TFrameRig {
    TFrameRig() {
        frame.Initialize(&link, 0, [this](const QString& line) { log << line; });
        frame.ShowError = [this](const QString& text) { errors << text; };
    }
    void Reply(const std::vector<uint8_t>& p) { frame.HandleReply(p.data(), uint8_t(p.size())); }
    void Expire() {
        for (int i = 0; i < TConfigTransfer::WaitTicks; ++i) frame.Transfer.Tick();
    }
    void Mode(int n) { frame.MaskEditUpDown2->SetValue(n), frame.ShowRecord(); }
    QString Said() const { return Sent(link) + "|" + log.join('\n'); }
    // Types a value into a field and commits it with Enter, as an operator does.
    static void Type(TMaskEditUpDown* edit, const QString& text) {
        edit->setFocus(), edit->selectAll(), QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QString Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString Text(const char* name) const {
        QFile f(Path(name));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    void File(bool save, const QString& path, bool all = false) {
        frame.AskOpenFileName = frame.AskSaveFileName = [path] { return path; };
        save ? (all ? frame.ActionSaveAllExecute() : frame.ActionSaveConfigExecute())
             : (all ? frame.ActionOpenAllExecute() : frame.ActionOpenConfigExecute());
    }

    TRecordingLink link;
    TFrameConfigVek frame;
    QStringList log, errors;
    QTemporaryDir dir;
};

// Another transfer action while one runs is refused: the controller gets only what the operator asked
// for, the log names the right record, and an edit on screen is not overwritten.
TEST(FrameConfig, OverlappingActions) {
    TFrameRig a, b, c, d;
    a.Mode(2), a.frame.ActionSetExecute(), a.Mode(5), a.frame.ActionGetExecute(), a.Reply(Ack);
    EXPECT_EQ(a.Said(), "set 2|Uploading CONFIG #2 data...\nConfig #2 uploaded.");
    b.frame.ActionSetAllExecute(), b.Mode(2), b.frame.ActionSetExecute(), b.Expire();
    EXPECT_EQ(Sent(b.link), "flash 0, flash 0");
    c.Mode(2), c.frame.ActionFlashExecute(), c.Mode(4), c.frame.ActionFlashExecute(), c.Reply(Ack);
    EXPECT_EQ(c.Said(), "flash 2|Uploading CONFIG #2 data...\nConfig #2 uploaded.");
    d.frame.ActionGetAllExecute(), d.Mode(5), d.frame.MaskEditUpDown16->SetValue(30);
    d.frame.ActionFlashExecute(), d.Expire(), d.Reply(DataReply(5)), d.Reply(DataReply(0));
    EXPECT_EQ(d.Said(),
              "get 0, get 0, get 1|Downloading CONFIG #0 data...\nCONFIG downloading failed!\n"
              "Downloading CONFIG #0 data...\nConfig #0 v0.3 downloaded.\nDownloading CONFIG #1 data...");
    EXPECT_EQ(d.frame.Records[5].poles, 30);
}

TEST(FrameConfig, ActionsFollowTheLinkAndTheTransfer) {
    // Port open, active link, net bit, a transfer running: the transfer actions enabled.
    const int cases[][5] = {
        {1, 255, 0, 0, 1}, {1, 255, 0x80, 0, 0}, {1, 2, 0x80, 0, 1}, {0, 2, 0, 0, 0}, {1, 255, 0, 1, 0}};
    for (const auto& [open, active, net, running, transfers] : cases) {
        TFrameRig t;
        TFrameConfigVek& f = t.frame;
        t.link.Open = open, t.link.ActiveLink = uint8_t(active), f.NetBit = uint8_t(net);
        if (running) f.ActionGetExecute();
        f.ActionGetUpdate();
        for (QAction* a : {f.ActionGet, f.ActionSet, f.ActionFlash, f.ActionGetAll, f.ActionSetAll})
            EXPECT_EQ(a->isEnabled(), bool(transfers)) << a->text().toStdString() << open << active << net;
        for (QAction* a : {f.ActionOpenConfig, f.ActionOpenAll, f.ActionSaveAll, f.ActionStop})
            EXPECT_EQ(a->isEnabled(), (a == f.ActionStop) == bool(running)) << a->text().toStdString();
    }
    // Esc stops the transfer wherever the focus is.
    TFrameRig t;
    t.frame.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.frame));
    t.frame.ActionGetAllExecute();
    QTest::keyClick(t.frame.MaskEditUpDown16, Qt::Key_Escape);
    EXPECT_EQ(t.Said(), "get 0|Downloading CONFIG #0 data...\nCONFIG transfer abandoned.");
}

TEST(FrameConfig, ScreenAndRecord) {
    TFrameRig t;
    TFrameConfigVek& f = t.frame;
    f.ComboBox1->setCurrentIndex(0), f.ComboBox2->setCurrentIndex(8), f.ComboBox4->setCurrentIndex(4);
    f.MaskEditUpDown20->SetValue(-10), f.MaskEditUpDown31->SetValue(-100), f.MaskEditUpDown3->SetValue(0.1);
    f.MaskEditUpDown5->setText("12.3"), f.MaskEditUpDown7->setText("12.25");  // halves to even: 122
    f.CaptureRecord();
    ConfigRecord& r = f.Records[0];
    EXPECT_EQ(std::make_tuple(r.Timing, r.Freq_PWM, r.musicDivide, r.musicTempo, r.deAccel, r.Scale_Current),
              std::make_tuple(int8_t(-1), uint16_t(40000), uint8_t(0), uint8_t(20), int8_t(-100), 0.1f));
    EXPECT_EQ(r.Max_Current * 1000 + r.Limit_Temp, 123 * 1000 + 122);

    // Every field within its range, and values that no list entry shows, come back unchanged; one out of
    // its field's range comes back clamped, and bits without a check box cleared.
    ConfigRecord full = ConfigRecord::Defaults(6);
    full.Version = 0x0304, full.Flags = 0xFFFF & ~ConfigFlag::SigmaDelta, full.Scale_Current = 1.234f;
    full.Scale_Voltmeter = 0.5f, full.Timing = 40, full.Freq_PWM = 7000, full.Max_Current = 1999;
    full.Limit_Current = 5, full.Limit_Temp = 1500, full.min_PWM = 500, full.max_PWM = 50,
    full.start_PWM = 400;
    full.accel_PWM = 1, full.safe_PWM = 0, full.off_Bat = 500, full.poles = 100, full.baseAddr = 32;
    full.musicIx = 9, full.musicVolume = 100, full.musicTempo = 13, full.PWMFilter = 10, full.SlowStart = 100;
    full.musicDivide = 3, full.deAccel = -7, full.map = 3, full.asyncLevel = 2, full.asyncLevel2 = 60;
    full.neutral3D = 100;
    f.Records[6] = full;
    t.Mode(6);
    EXPECT_EQ(f.MaskEditUpDown6->text() + f.GroupBoxConfig->title() + f.ComboBox2->currentText(),
              "1 Config v 3.4 7000 Hz (stored)");
    f.CaptureRecord();
    full.Limit_Current = 10, full.Flags &= 0x0FFF;
    EXPECT_EQ(f.Records[6], full);
}

TEST(FrameConfig, ModeAndCheckBoxEdits) {
    TFrameRig t;
    TFrameConfigVek& f = t.frame;
    f.Records[3].Version = 0x0102, f.Records[3].poles = 8;
    t.Mode(2);
    TFrameRig::Type(f.MaskEditUpDown16, "14");
    TFrameRig::Type(f.MaskEditUpDown2, "3");
    EXPECT_EQ(QString::number(f.Records[2].poles) + f.MaskEditUpDown16->text() + f.GroupBoxConfig->title(),
              "148 Config v 1.2 ")
        << "the record being left keeps the screen";

    // A number typed but not committed: an action, and a record arriving, first capture the screen.
    TFrameRig::Type(f.MaskEditUpDown16, "15");
    f.MaskEditUpDown2->setText("5");
    f.ActionSetExecute(), t.Reply(Ack);
    TFrameRig::Type(f.MaskEditUpDown16, "16");
    f.MaskEditUpDown2->setText("9");
    t.Reply(DataReply(7, 33));
    EXPECT_EQ(Sent(t.link) + QString(" %1 %2").arg(f.Records[3].poles).arg(f.Records[5].poles),
              "set 5 15 16");
    TFrameRig::Type(f.MaskEditUpDown16, "17");
    t.Reply(DataReply(7, 34));
    EXPECT_EQ(f.MaskEditUpDown2->text() + f.MaskEditUpDown16->text(), "917")
        << "another record keeps the screen";
    t.Reply(DataReply(9, 35));
    f.MaskEditUpDown2->setText("4"), f.IdentityReceived();  // the window's identity handling
    EXPECT_EQ(f.MaskEditUpDown16->text() + f.MaskEditUpDown2->text(), "359");

    // Smart and SigmaDelta exclude each other on the operator's clicks only.
    for (QCheckBox* box : {f.CheckBox14, f.CheckBox7, f.CheckBox14}) QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(f.CheckBox14->isChecked() && !f.CheckBox7->isChecked());
    f.Records[9].Flags = ConfigFlag::Smart | ConfigFlag::SigmaDelta;
    f.ShowRecord();
    EXPECT_TRUE(f.CheckBox7->isChecked() && f.CheckBox14->isChecked());
}

TEST(FrameConfig, Files) {
    TFrameRig t;
    t.File(true, t.Path("default.cfg"));
    EXPECT_EQ(t.Text("default.cfg"),
              "[Config]\r\nVersion=3\r\nFlags=1\r\nScale_Current=1\r\nScale_Voltmeter=1\r\nTiming=-1\r\n"
              "Freq_PWM=8000\r\nMax_Current=300\r\nLimit_Current=150\r\nLimit_Temp=900\r\nmin_PWM=40\r\n"
              "max_PWM=950\r\nstart_PWM=80\r\naccel_PWM=100\r\ndeAccel=0\r\nsafe_PWM=150\r\noff_Bat=90\r\n"
              "poles=12\r\nmusicIx=0\r\nmusicDivide=0\r\nmusicVolume=1\r\nmusicTempo=0\r\nbaseAddr=0\r\n"
              "PWMFilter=0\r\nSlowStart=0\r\nmap=0\r\nasyncLevel=40\r\nasyncLevel2=40\r\nneutral3D=0\r\n");
    EXPECT_EQ(t.log.last(), "File " + t.Path("default.cfg") + " is saved");

    // Saved from record 3 with ",", opened into record 7 where "." is in use.
    TMaskEditUpDown::SetDecimalSeparator(',');
    t.Mode(3), t.frame.MaskEditUpDown3->SetValue(0.1), t.frame.cxMaskEditUpDown1->SetValue(22);
    t.File(true, t.Path("three.cfg"));
    EXPECT_TRUE(t.Text("three.cfg").contains("Scale_Current=0,100000001490116\r\n"));
    TMaskEditUpDown::SetDecimalSeparator('.');
    t.Mode(7), t.File(false, t.Path("three.cfg"));
    EXPECT_EQ(t.log.last(), "File " + t.Path("three.cfg") + " is opened");
    t.frame.Records[3].Number = 7;
    EXPECT_EQ(t.frame.Records[7], t.frame.Records[3]);

    // Save All, one record saved into that file, Open All.
    for (int n = 0; n < ConfigRecordCount; ++n) t.frame.Records[n].poles = uint8_t(30 + n);
    t.frame.ShowRecord(), t.File(true, t.Path("all.cfg"), true);
    const QString all = t.Text("all.cfg");
    EXPECT_EQ(all.count('[') * 100 + all.count('='), 17 * 100 + 17 * 28);
    t.File(true, t.Path("all.cfg"));
    EXPECT_TRUE(t.Text("all.cfg").startsWith(all + "\r\n[Config]\r\n"));
    for (int n = 0; n < ConfigRecordCount; ++n) t.frame.Records[n] = ConfigRecord::Defaults(uint8_t(n));
    t.File(false, t.Path("all.cfg"), true);
    for (int n = 0; n < ConfigRecordCount; ++n) EXPECT_EQ(t.frame.Records[n].poles, 30 + n) << n;
    EXPECT_EQ(t.frame.MaskEditUpDown16->text(), "37");

    // A save replaces the file whole (a second name of the old file keeps the old text); one that
    // cannot write says why, as does a missing file to open.
    ASSERT_EQ(::link(t.Path("three.cfg").toLocal8Bit(), t.Path("old.cfg").toLocal8Bit()), 0);
    const QString old = t.Text("three.cfg");
    t.File(true, t.Path("three.cfg"), true);
    EXPECT_EQ(t.Text("old.cfg"), old);
    t.File(true, t.Path("old.cfg/m.cfg")), t.File(false, t.Path("missing.cfg"));
    t.File(true, QString()), t.File(false, QString());  // cancelled
    ASSERT_EQ(t.errors.size(), 2);
    EXPECT_TRUE(t.errors[0].startsWith("File " + t.Path("old.cfg/m.cfg") + " is not saved: ") &&
                t.errors[1].startsWith("File " + t.Path("missing.cfg") + " is not opened: ") &&
                t.log.last() == t.errors[1])
        << t.errors.join('\n').toStdString();
}

}  // namespace
