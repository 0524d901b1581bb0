#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QProgressBar>
#include <QTemporaryDir>

#include "firmware/frameUpFW.h"
#include "link/frameConnect.h"
#include "support/kwyFile.h"
#include "support/ptyPeer.h"
#include "support/qtWait.h"

namespace {
using Bytes = std::vector<uint8_t>;

struct TLines {
    bool clearDtr;
    bool clearRts;
    bool operator==(const TLines&) const = default;
};

// A firmware frame on an open port whose far end is a pseudo-terminal peer.
class FrameUpFW : public ::testing::Test {
protected:
    void SetUp() override {
        link.InitPort(nullptr, nullptr, nullptr);
        link.ComRW->PortName = peer.SlaveName();
        link.ComRW->SetActive(true);
        ASSERT_TRUE(link.IsConnected());
        frame.Initialize(link.Port(), 0, "Vek", [this](const QString& line) { log.push_back(line.toStdString()); });
        frame.OnControlLines = [this](bool dtr, bool rts) { lines.push_back({dtr, rts}); };
    }

    QString Image(const Bytes& image, uint16_t device = 0x4B57, const char* name = "fw.kwy") {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteKwy(path, device, image));
        return path;
    }

    bool Reply(Bytes payload) { return frame.HandleReply(payload.data(), uint8_t(payload.size())); }

    std::vector<TPeerPacket> Packets(size_t count) {
        return peer.ReadPackets(count, 3000, [] { QCoreApplication::processEvents(); });
    }
    // Everything the program has sent so far; waits a little for stragglers.
    std::vector<TPeerPacket> Sent() { return peer.Drain(60); }

    bool Logged(const std::string& line) const {
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    QTemporaryDir dir;
    TPtyPeer peer;
    TFrameConnectPort link;
    TFrameUpdateFW frame;
    std::vector<std::string> log;
    std::vector<TLines> lines;
};

TEST_F(FrameUpFW, FailedLoadDisablesUpdateAndSaysWhy) {
    EXPECT_FALSE(frame.ActionUpdateFW->isEnabled());
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(64))));
    EXPECT_EQ(frame.Edit1->text(), "fw.kwy");
    EXPECT_TRUE(frame.ActionUpdateFW->isEnabled());

    const QString broken = dir.filePath("broken.kwy");
    ASSERT_TRUE(WriteKwy(broken, 1, 1000, KwyPattern(990)));
    EXPECT_FALSE(frame.LoadImage(broken));
    EXPECT_TRUE(frame.Edit1->text().isEmpty());
    frame.ActionUpdateFWUpdate();
    EXPECT_FALSE(frame.ActionUpdateFW->isEnabled());
    EXPECT_EQ(log, std::vector<std::string>{"Cannot load \"broken.kwy\": file broken"});
    // Replies are not taken while no image is loaded.
    EXPECT_TRUE(Reply({0x04}));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(FrameUpFW, UpdateReloadsTheFileItWasGiven) {
    const QString path = Image(KwyPattern(256, 1));
    ASSERT_TRUE(frame.LoadImage(path));
    ASSERT_TRUE(WriteKwy(path, 0x0102, KwyPattern(384, 9)));
    frame.ActionUpdateFWExecute();
    EXPECT_EQ(frame.FW.ImageSize, 384u);
    EXPECT_EQ(frame.FW.DeviceCode, 0x0102);
    EXPECT_TRUE(frame.ProgressBar1->isVisibleTo(&frame));
    EXPECT_EQ(frame.ProgressBar1->value(), 100);
    EXPECT_EQ(log, std::vector<std::string>{"Detect bootloader... Press RESET to start"});
    auto sent = Packets(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].channel, 0x01);
    EXPECT_EQ(sent[0].payload, Bytes{0x5D});

    // A file that went bad meanwhile stops the update before anything is sent.
    ASSERT_TRUE(WriteKwy(path, 1, 1000, KwyPattern(10)));
    log.clear();
    frame.Timer5.stop();
    frame.DetectTicks = -1;
    frame.ActionUpdateFWExecute();
    EXPECT_EQ(log, std::vector<std::string>{"Cannot load \"fw.kwy\": file broken"});
    EXPECT_FALSE(frame.Timer5.isActive());
    EXPECT_TRUE(Sent().empty());
}

TEST_F(FrameUpFW, DetectionTicksDriveLinesWakeUpAndResets) {
    link.Port()->ActiveLink = 3;
    frame.NetBit = 0x80;
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(1000), 0xA55A)));
    frame.ActionUpdateFWExecute();
    frame.Timer5.stop();  // the test drives the ticks
    auto start = Packets(1);
    ASSERT_EQ(start.size(), 1u);
    EXPECT_EQ(start[0].channel, 0x81);
    EXPECT_EQ(start[0].payload, Bytes{0x5D});

    for (int t = 0; t <= 4; ++t) {
        frame.Timer5Timer();
        EXPECT_EQ(frame.ProgressBar1->value(), 100 - t);
    }
    EXPECT_EQ(lines, std::vector<TLines>(5, TLines{false, false}));
    auto info = Packets(1);
    ASSERT_EQ(info.size(), 1u);
    EXPECT_EQ(info[0].channel, 0xBB);
    EXPECT_EQ(info[0].payload, (Bytes{0x05, 0x5A, 0xA5, 0xE8, 0x03, 0x00, 0x00}));

    frame.Timer5Timer();  // tick 5: lines cleared, the wake-up sequence four times
    EXPECT_EQ(lines.back(), (TLines{true, true}));
    const std::string raw = [&] {
        auto bytes = peer.ReadBytes(28, 3000);
        return std::string(bytes.begin(), bytes.end());
    }();
    EXPECT_EQ(raw, "BOOTQOXBOOTQOXBOOTQOXBOOTQOX");

    for (int t = 6; t <= 25; ++t) frame.Timer5Timer();
    // Only the reset at tick 25 is a packet; everything else is raw wake-up bytes.
    auto reset = Packets(1);
    ASSERT_EQ(reset.size(), 1u);
    EXPECT_EQ(reset[0].channel, 0x01);
    EXPECT_EQ(reset[0].payload, Bytes{0x5A});
    EXPECT_EQ(lines.size(), 25u);  // ticks 0..24 set lines, tick 25 does not

    for (int t = 26; t < 50; ++t) frame.Timer5Timer();
    EXPECT_TRUE(frame.ProgressBar1->isVisibleTo(&frame));
    frame.Timer5Timer();  // tick 50
    EXPECT_EQ(frame.DetectTicks, -1);
    EXPECT_FALSE(frame.ProgressBar1->isVisibleTo(&frame));
    EXPECT_EQ(log.back(), "Vek#3: Stop detecting.");
    EXPECT_EQ(log.front(), "Vek#3: Detect bootloader... Press RESET to start");
}

TEST_F(FrameUpFW, BootReadyTwiceSendsInfoOnceAndStopsDetection) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(300), 0x0201)));
    frame.ActionUpdateFWExecute();
    frame.Timer5Timer();
    EXPECT_FALSE(Reply({0x04}));
    EXPECT_FALSE(frame.Timer5.isActive());
    EXPECT_EQ(frame.DetectTicks, -1);
    EXPECT_EQ(frame.ProgressBar1->value(), 0);
    EXPECT_FALSE(Reply({0x04}));
    auto sent = Sent();
    ASSERT_EQ(sent.size(), 2u);  // StartUpdate, one BootInfo
    EXPECT_EQ(sent[1].payload, (Bytes{0x05, 0x01, 0x02, 0x2C, 0x01, 0x00, 0x00}));
    EXPECT_EQ(std::count(log.begin(), log.end(), "BOOT detected!!!"), 2);
}

TEST_F(FrameUpFW, BootInfoReplyIsLoggedWithVersionAndSize) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(10))));
    link.Port()->ActiveLink = 3;
    EXPECT_FALSE(Reply({0x05, 0x13, 0x02, 0x00, 0x00, 0x04, 0x00}));
    EXPECT_EQ(log.back(), "Vek#3: BOOT v2.3 Prepare 262144 bytes");
    link.Port()->ActiveLink = 255;
    EXPECT_FALSE(Reply({0x05, 0xF7, 0x0A}));  // short: missing bytes read as zero
    EXPECT_EQ(log.back(), "BOOT v10.7 Prepare 0 bytes");
}

TEST_F(FrameUpFW, PagesAreAnsweredWithImageBytesAndWarnedOutOfRange) {
    const auto image = KwyPattern(1000, 5);
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(2000, 9), 1, "long.kwy")));
    ASSERT_TRUE(frame.LoadImage(Image(image)));
    frame.NetBit = 0x80;
    struct {
        uint16_t page;
        bool warned;
        int progress;
    } const cases[] = {{7, false, 89}, {8, false, 100}, {9, true, 100}, {0, false, 0}};
    for (const auto& c : cases) {
        log.clear();
        EXPECT_FALSE(Reply({0x08, uint8_t(c.page), uint8_t(c.page >> 8)}));
        EXPECT_EQ(log.size(), c.warned ? 1u : 0u) << c.page;
        if (c.warned) {
            EXPECT_EQ(log[0], "Block " + std::to_string(c.page) + " out of range!");
        }
        EXPECT_EQ(frame.ProgressBar1->value(), c.progress) << c.page;
        auto sent = Packets(1);
        ASSERT_EQ(sent.size(), 1u) << c.page;
        EXPECT_EQ(sent[0].channel, 0xBB);
        ASSERT_EQ(sent[0].payload.size(), 131u);
        EXPECT_EQ(sent[0].payload[0], 0x07);
        EXPECT_EQ(sent[0].payload[1], uint8_t(c.page));
        EXPECT_EQ(sent[0].payload[2], uint8_t(c.page >> 8));
        Bytes expected(128, 0);
        for (int i = 0; i < 128; ++i)
            if (c.page * 128 + i < 1000) expected[i] = image[c.page * 128 + i];
        EXPECT_EQ(Bytes(sent[0].payload.begin() + 3, sent[0].payload.end()), expected) << c.page;
    }
    // Page 5 of a 1280-byte image is half way.
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(1280))));
    EXPECT_FALSE(Reply({0x08, 5, 0}));
    EXPECT_EQ(frame.ProgressBar1->value(), 50);
    // A request without its page number is not answered.
    Sent();
    EXPECT_FALSE(Reply({0x08, 5}));
    EXPECT_TRUE(Sent().empty());
}

TEST_F(FrameUpFW, LastPageFinishesWithResetPulse) {
    struct {
        uint16_t status;
        std::vector<std::string> logged;
    } const cases[] = {
        {0x8007, {"Page 7 write!", "Finish.", "Soft reset..."}},
        {0xC007, {"Page 7 write!", "Flash error.", "Finish.", "Soft reset..."}},
    };
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(1000))));
    frame.NetBit = 0x80;
    for (const auto& c : cases) {
        log.clear();
        lines.clear();
        frame.ProgressBar1->setVisible(true);
        EXPECT_FALSE(Reply({0x09, uint8_t(c.status), uint8_t(c.status >> 8)}));
        EXPECT_FALSE(frame.ProgressBar1->isVisibleTo(&frame));
        EXPECT_FALSE(frame.Transferring());
        // The reset goes out only after the lines have been set for the pulse.
        EXPECT_EQ(lines, (std::vector<TLines>{TLines{false, false}}));
        EXPECT_TRUE(frame.PulsePending());
        auto sent = Packets(1);
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].channel, 0x81);
        EXPECT_EQ(sent[0].payload, Bytes{0x5A});
        EXPECT_EQ(lines, (std::vector<TLines>{{false, false}, {true, true}}));
        EXPECT_EQ(log, c.logged);
    }
    // Flash error alone, not the last page: only the two lines.
    log.clear();
    EXPECT_FALSE(Reply({0x09, 0x03, 0x40}));
    EXPECT_EQ(log, (std::vector<std::string>{"Page 3 write!", "Flash error."}));
    EXPECT_TRUE(frame.Transferring());
}

TEST_F(FrameUpFW, ResetPulsesTheLinesAfterTheCommand) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(10))));
    frame.ActionResetUpdate();
    EXPECT_TRUE(frame.ActionReset->isEnabled());
    frame.ActionResetExecute();
    EXPECT_EQ(log, std::vector<std::string>{"Soft reset..."});
    auto sent = Packets(1);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Bytes{0x5A});
    ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.PulsePending(); }));
    EXPECT_EQ(lines, (std::vector<TLines>{{false, false}, {true, true}}));

    link.ComRW->SetActive(false);
    frame.ActionResetUpdate();
    EXPECT_FALSE(frame.ActionReset->isEnabled());
}

TEST_F(FrameUpFW, OtherRepliesArePassedOn) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(10))));
    for (uint8_t code : {0x01, 0x02, 0x06, 0x07, 0x0B, 0x1A, 0x44, 0x5B, 0x77, 0xFE, 0xFF})
        EXPECT_TRUE(Reply({code, 0, 0, 0})) << int(code);
    EXPECT_FALSE(Reply({0x0A}));
    EXPECT_EQ(log, std::vector<std::string>{"Invalid Device !!"});
}

TEST_F(FrameUpFW, SilentBootloaderIsReportedOnceAndTheTransferGoesOn) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(1000))));
    frame.SilenceTimeout();  // nothing runs: nothing to say
    EXPECT_TRUE(log.empty());
    frame.ActionUpdateFWExecute();
    EXPECT_FALSE(Reply({0x04}));
    EXPECT_FALSE(Reply({0x08, 0, 0}));
    EXPECT_TRUE(frame.Transferring());
    log.clear();
    frame.SilenceTimeout();
    EXPECT_EQ(log, std::vector<std::string>{"Bootloader is not responding."});
    EXPECT_TRUE(frame.ProgressBar1->isVisibleTo(&frame));
    Sent();
    EXPECT_FALSE(Reply({0x08, 1, 0}));  // it came back: answered as before
    EXPECT_EQ(Packets(1).size(), 1u);
    EXPECT_FALSE(Reply({0x09, 0x01, 0x80}));
    log.clear();
    frame.SilenceTimeout();
    EXPECT_TRUE(log.empty());
}

TEST_F(FrameUpFW, LostDeviceEndsTheUpdateAndANewOneCanStart) {
    ASSERT_TRUE(frame.LoadImage(Image(KwyPattern(1000))));
    frame.ActionUpdateFWExecute();
    EXPECT_FALSE(Reply({0x04}));
    EXPECT_FALSE(Reply({0x08, 0, 0}));
    link.ComRW->SetActive(false);
    log.clear();
    frame.DeviceLost();
    EXPECT_EQ(log, std::vector<std::string>{"Firmware update stopped: device lost."});
    EXPECT_FALSE(frame.Busy());
    EXPECT_FALSE(frame.ProgressBar1->isVisibleTo(&frame));
    frame.DeviceLost();  // said once
    EXPECT_EQ(log.size(), 1u);

    // A port closed by other means is found by the watchdog.
    link.ComRW->SetActive(true);
    ASSERT_TRUE(link.IsConnected());
    Sent();
    frame.ActionUpdateFWExecute();
    EXPECT_TRUE(frame.Busy());
    EXPECT_FALSE(Reply({0x04}));
    auto sent = Packets(2);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].payload, Bytes{0x5D});
    EXPECT_EQ(sent[1].payload[0], 0x05);
    link.ComRW->SetActive(false);
    log.clear();
    frame.SilenceTimeout();
    EXPECT_EQ(log, std::vector<std::string>{"Firmware update stopped: device lost."});
    EXPECT_FALSE(frame.Busy());
}
}  // namespace
