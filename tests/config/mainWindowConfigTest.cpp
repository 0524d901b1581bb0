// The configuration frame in its place in the main window: the "Config" menu, the reply dispatch, the
// identity handling and the net bit.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "app/mainQox.h"
#include "config/frameConfVek.h"
#include "controls/MaskEditUpDown.h"
#include "link/frameConnect.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {

struct MainWindowConfig : ::testing::Test {
    void SetUp() override {
        window = std::make_unique<TFormMainQox>();
        window->IniPath = dir.filePath("vektool.ini");
        window->Beep = [] {};
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        config = window->FrameConfigVek1;
        ASSERT_NE(config, nullptr);
        TComRW& port = *window->FrameConnectPort1->ComRW;
        port.PortName = peer.SlaveName();
        port.SetActive(true);
        ASSERT_TRUE(window->IsConnected());
    }
    void Packet(uint8_t channel, const std::vector<uint8_t>& payload) {
        window->OnPacket(payload.data(), uint8_t(payload.size()), channel);
    }
    QString LastLogLine() const {
        return window->ListBoxLog->toPlainText().split('\n', Qt::SkipEmptyParts).last();
    }

    TPtyPeer peer;
    QTemporaryDir dir;
    std::unique_ptr<TFormMainQox> window;
    TFrameConfigVek* config = nullptr;
};

TEST_F(MainWindowConfig, MenuListsTheActionsInOrder) {
    QStringList texts;
    for (QAction* a : window->MenuConfig->actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(texts, (QStringList{"Get", "Set", "Flash", "Open", "Save", "-", "Get All", "Flash All",
                                  "Open All", "Save All"}));
    EXPECT_TRUE(window->actions().contains(config->ActionSetAll));
    EXPECT_EQ(config->ActionGet->toolTip(), "Load config from device");
    EXPECT_EQ(config->ActionFlash->toolTip(), "Save config to flash");
    // The window's idle updates run the frame's rule: a net bit without an active link disables.
    ASSERT_TRUE(ProcessEventsUntil([&] { return config->ActionFlash->isEnabled(); }));
    window->SetNetBit(zuq::NetBit);
    EXPECT_EQ(config->NetBit, zuq::NetBit);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !config->ActionFlash->isEnabled(); }));
    window->SetNetBit(0);
    EXPECT_EQ(config->NetBit, 0);
}

TEST_F(MainWindowConfig, RepliesReachTheFrame) {
    // Identity on the reply channel: the window logs it, the frame takes note and keeps its record.
    config->MaskEditUpDown2->setText("4");
    Packet(zuq::ChannelReply, {zuq::Cmd::Identify, 'F', 'W', '1'});
    EXPECT_TRUE(config->Identified);
    EXPECT_EQ(config->MaskEditUpDown2->text(), "0") << "the record on screen";

    ConfigRecord r = ConfigRecord::Defaults(9);
    r.poles = 44;
    const TConfigBytes b = r.ToBytes();
    std::vector<uint8_t> data{zuq::Cmd::ConfigData};
    data.insert(data.end(), b.begin(), b.end());
    Packet(zuq::ChannelReply, data);
    EXPECT_EQ(config->Records[9].poles, 44);
    EXPECT_EQ(LastLogLine(), "Config #9 v0.3 downloaded.");

    Packet(zuq::ChannelReply, {zuq::Cmd::Detected});
    EXPECT_EQ(LastLogLine(), "Vek detected.");
    EXPECT_TRUE(config->Timer3->isActive());
    // On the application channel the status frame sees the packet first, then the others.
    Packet(zuq::ChannelApp, {zuq::Cmd::Echo});
    EXPECT_EQ(LastLogLine(), "Echo is received.");
}

}  // namespace
