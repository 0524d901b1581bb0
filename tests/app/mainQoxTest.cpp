// The main window: reply dispatch and identity (on a recording port), connecting through a real port
// object to a pseudo-terminal, the settings file, the log and the shortcuts.
#include <SimpleIni.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

#include "app/mainQox.h"
#include "app/testControl.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "link/zuq.h"
#include "support/listedPeer.h"
#include "support/qtWait.h"
#include "support/readOnlyFolder.h"
#include "support/windowRig.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct MainWindow : ::testing::Test, TWindowRig {
    void WriteIni(const QByteArray& text) {
        QFile file(window->IniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
};
}  // namespace

TEST_F(MainWindow, DispatchOrderAndWhatTheWindowTakes) {
    Show();
    const struct {
        uint8_t channel, code;
        const char* takenBy;  // the handler that returns false; "" = nobody takes it
        QStringList offered;
        const char* logged;
    } cases[] = {
        {0x04, zuq::Cmd::Echo, "", {"link"}, "Echo is received."},
        {0x04, zuq::Cmd::Echo, "link", {"link"}, nullptr},
        {0x04, zuq::Cmd::ConfigData, "", {"link", "firmware", "config", "status"}, nullptr},
        {0x04, zuq::Cmd::ConfigData, "firmware", {"link", "firmware"}, nullptr},
        {0x01, zuq::Cmd::Echo, "", {"link", "status", "firmware", "config"}, nullptr},
        {0x84, zuq::Cmd::ConfigData, "status", {"link", "status"}, nullptr},
        {0xBB, zuq::Cmd::BootInfo, "firmware", {"link", "status", "firmware"}, nullptr},
    };
    for (const auto& c : cases) {
        QStringList offered;
        const auto handler = [&](const char* name) {
            return [&offered, &c, name](const uint8_t*, uint8_t) {
                return offered << name, QString(name) != c.takenBy;
            };
        };
        window->LinkScanReply = handler("link");
        window->FirmwareReply = handler("firmware");
        window->ConfigReply = handler("config");
        window->StatusReply = handler("status");
        const int before = Log().size();
        Packet(c.channel, {c.code});
        EXPECT_EQ(offered, c.offered) << int(c.channel) << " " << int(c.code) << " " << c.takenBy;
        EXPECT_EQ(Log().mid(before), c.logged ? QStringList{c.logged} : QStringList{}) << int(c.channel);
    }
    port.Open = false;  // packets that arrive while the port is closed are ignored
    int offers = 0;
    window->LinkScanReply = [&](const uint8_t*, uint8_t) { return ++offers, true; };
    const int before = Log().size();
    Packet(0x04, {zuq::Cmd::Echo});
    EXPECT_EQ(offers, 0);
    EXPECT_EQ(Log().size(), before);
}

TEST_F(MainWindow, IdentityGoesToTheCaptionAndTheLog) {
    Show();
    Bytes full(25, 0);
    full[0] = zuq::Cmd::Identify, full[1] = '1', full[2] = '.', full[3] = '0';
    full[21] = 0x78, full[22] = 0x56, full[23] = 0x34, full[24] = 0x12;
    Bytes longText(40, 'x');
    longText[0] = zuq::Cmd::Identify;
    const struct {
        Bytes payload;
        const char* caption;
    } cases[] = {
        {full, "Vek Tool [FW:1.0  SN:12345678]"},
        {{zuq::Cmd::Identify, 'V', '2', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD},
         "Vek Tool [FW:V2  SN:0000cdab]"},  // short: missing serial bytes read as 0
        {{zuq::Cmd::Identify}, "Vek Tool [FW:  SN:00000000]"},
        {longText, "Vek Tool [FW:xxxxxxxxxxxxxxxxxxxxxxxx  SN:78787878]"},  // no zero: 24 bytes
    };
    for (const auto& c : cases) {
        Packet(0x04, c.payload);
        EXPECT_EQ(window->windowTitle(), c.caption);
    }
    EXPECT_EQ(Log()[0], "FW: 1.0 SN: 12345678");
}

// Connecting, the log line and Ping's echo over a real line are the session test's (tests/e2e).
TEST_F(MainWindow, AMissingPortIsLoggedWithItsReason) {
    Show(false);
    QComboBox* list = window->FrameConnectPort1->ComboBox1;
    list->insertItem(0, "/dev/does-not-exist-vek");
    list->setCurrentIndex(0);
    window->FrameConnectPort1->ComboBox1Click();  // as the operator picks it
    window->ActionConnectExecute();
    EXPECT_FALSE(window->IsConnected());
    EXPECT_EQ(Log()[Log().size() - 2], "Connecting /dev/does-not-exist-vek port (115200 bod).");
    EXPECT_TRUE(Log().last().startsWith("Cannot open /dev/does-not-exist-vek: no such device"))
        << Log().last().toStdString();
}

TEST_F(MainWindow, SettingsFileKeepsOtherSectionsAndIsNeverHalfWritten) {
    TListedPeer peer;
    WriteIni(QString("; kept comment\n[Other]\nKey=value\n\n[Comm]\nName=%1\n").arg(peer.Link).toUtf8());
    Show(false);
    EXPECT_EQ(window->FrameConnectPort1->ComboBox1->currentText(), peer.Link);
    window->ActionConnectExecute();  // a BaudRate of 0 is refused by the driver and said so
    EXPECT_TRUE(Log().last().startsWith(
        QString("The driver of %1 refused baud rate 0; the line runs at ").arg(peer.Link)));
    window->close();
    CSimpleIniA ini;
    ASSERT_EQ(ini.LoadFile(window->IniPath.toLocal8Bit().constData()), SI_OK);
    EXPECT_STREQ(ini.GetValue("Other", "Key"), "value");
    EXPECT_EQ(ini.GetValue("Comm", "Name"), peer.Link.toStdString());
    QFile file(window->IniPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    EXPECT_TRUE(saved.contains("; kept comment"));
    file.close();

    TReadOnlyFolder locked(dir.path());
    if (!locked.Effective()) GTEST_SKIP() << "this process can write anywhere";
    EXPECT_FALSE(window->SaveIni());
    EXPECT_TRUE(Log().last().startsWith("Settings file " + window->IniPath + " cannot be written"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), saved);
}

TEST(MainWindowIni, BesideAProgramInAWritableFolderElseInTheUsersConfiguration) {
    QTemporaryDir dir;
    const QString config =
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath("vektool.ini");
    EXPECT_EQ(TFormMainQox::IniPathFor(dir.filePath("vektool")), dir.filePath("vektool.ini"));
    EXPECT_EQ(TFormMainQox::IniPathFor("/usr/bin/vektool"), config) << "an installed program, even for root";
    TReadOnlyFolder locked(dir.path());
    if (!locked.Effective()) GTEST_SKIP() << "this process can write anywhere";
    EXPECT_EQ(TFormMainQox::IniPathFor(dir.filePath("vektool")), config);
}

TEST_F(MainWindow, TheTickUsesTheLimitsOfTheRecordInUse) {
    Show();
    if (window->GroupBox2->RunThread) window->GroupBox2->RunThread->Stop();  // ticks by hand only
    window->FrameConfigVek1->Records[5].min_PWM = 460;
    window->FrameConfigVek1->Records[5].max_PWM = 520;
    window->FrameConfigVek1->MaskEditUpDown2->SetValue(5);
    TTestControl* control = window->GroupBox2;
    control->MaskEditUpDown17->SetValue(50);
    control->CheckBox13->setChecked(true);
    window->ActionList1.UpdateAll();
    control->ActionRun->trigger();
    for (int i = 0; i < 2; ++i) control->Timer25Timer();
    const auto sent = port.Packets(zuq::Cmd::Throttle);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].Payload, (Bytes{0x46, 0x00, 0x00}));  // 450 < 460
    EXPECT_EQ(sent[1].Payload, (Bytes{0x46, 0x08, 0x02}));  // 550 > 520
}

TEST_F(MainWindow, LogKeepsItsNewestLineInViewAndFloats) {
    Show(false);
    for (int i = 0; i < 300; ++i) window->Log(QString("line %1").arg(i));
    QScrollBar* bar = window->ListBoxLog->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTest::mouseDClick(window->ListBoxLog->viewport(), Qt::LeftButton);
    ASSERT_TRUE(window->LogFloating());
    QWidget* floating = window->ListBoxLog->window();
    EXPECT_NE(floating, window.get());
    window->Log("while floating");
    QTest::keyClick(floating, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(window->ViewFETest->isChecked()) << "the window's shortcuts work from the floating log";
    floating->close();
    EXPECT_FALSE(window->LogFloating());
    EXPECT_EQ(window->ListBoxLog->parentWidget(), window->GroupBox1);
    EXPECT_EQ(Log().size(), 301);
}
