// Firmware images, the bootloader update unit (driven synchronously: reply or tick in, packets, lines
// and log out) and what the firmware frame adds: enabled actions, the progress bar, the opened image.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>

#include "firmware/bootUpdate.h"
#include "firmware/frameUpFW.h"
#include "support/kwyFile.h"
#include "support/recordingLink.h"

namespace {
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;
using TState = TBootUpdate::TState;
using TFailure = TBootUpdate::TFailure;
const std::string Set = "lines dtr=set rts=set\n", Clear = "lines dtr=clear rts=clear\n";
const std::string Lost = "Firmware update stopped: device lost.";
constexpr uint32_t MiB = TFirmwareImage::BufferSize;

TFirmwareImage MakeImage(uint32_t size) {
    return {0xA55A, size, KwyPattern(size, 5)};
}

// The unit on its own, and a frame (with a unit of its own) on the same port.
struct BootUpdate : ::testing::Test {
    BootUpdate() {
        unit.OnLog = [this](const QString& line) { log.push_back(line.toStdString()); };
        unit.OnProgress = [this](int position) { progress = position; };
        frame.Initialize(&port, 0, "Vek", [this](const QString& line) { log.push_back(line.toStdString()); });
    }
    QString Kwy(const char* name, uint32_t size, size_t present, uint8_t seed) {
        EXPECT_TRUE(WriteKwy(dir.filePath(name), 0x0102, size, KwyPattern(present, seed)));
        return dir.filePath(name);
    }
    bool Reply(Bytes payload) { return unit.HandleReply(payload.data(), uint8_t(payload.size())); }
    Bytes PageSent(uint16_t page) {
        port.Clear();
        Reply({0x08, uint8_t(page), uint8_t(page >> 8)});
        const auto pages = port.Packets(0x07);
        port.Clear();
        return pages.size() == 1 ? pages[0].Payload : Bytes{};
    }
    void ExpectEnded(TState state, TFailure failure) {
        EXPECT_TRUE(unit.State() == state && unit.Failure() == failure && !unit.Busy());
    }

    TRecordingLink port;
    TBootUpdate unit{port};
    TFrameUpdateFW frame;
    QTemporaryDir dir;
    Lines log;
    int progress = -1;
};

TEST_F(BootUpdate, DetectionPulsesLinesWakesTheBootloaderAndGivesUp) {
    ASSERT_TRUE(unit.Start(MakeImage(1000), 0x80));
    EXPECT_EQ(port.Take(), "StartUpdate ch=81\n");
    const std::string wake = Clear + "raw BOOTQOX\nraw BOOTQOX\nraw BOOTQOX\nraw BOOTQOX\n";
    for (int t = 0; t < TBootUpdate::DetectTicks; ++t) {
        unit.DetectTick();
        const std::string info = "BootInfo ch=bb 5a a5 e8 03 00 00\n";
        ASSERT_EQ(port.Take(), t < 4 ? Set : t == 4 ? Set + info : t == 25 ? "SoftReset ch=01\n" : wake) << t;
        ASSERT_EQ(progress, 100 - t);
    }
    unit.DetectTick();
    EXPECT_EQ(port.Take(), Clear);
    EXPECT_EQ(log, (Lines{"Detect bootloader... Press RESET to start", "Stop detecting."}));
    ExpectEnded(TState::Failed, TFailure::NoBootloader);
    // A bootloader that answers after the operator was told detection stopped gets nothing.
    EXPECT_FALSE(Reply({0x04}) || Reply({0x08, 0, 0}));
    EXPECT_EQ(port.Take(), "");
}

TEST_F(BootUpdate, WhateverEndsDetectionClearsTheLines) {
    const std::tuple<std::function<void()>, TFailure, std::string> cases[] = {
        // None: transferring
        {[&] { Reply({0x04}); }, TFailure::None, "BOOT detected!!!"},
        {[&] {
             Reply({0x05, 0x13, 2, 0xE8, 3, 0, 0});
         },
         TFailure::None, "BOOT v2.3 Prepare 1000 bytes"},
        {[&] { Reply({0x0A}); }, TFailure::InvalidDevice, "Invalid Device !!"},
        {[&] { unit.Reset(0), unit.PulseEnd(); }, TFailure::Reset, "Soft reset..."},
        {[&] { port.Open = false, unit.DeviceLost(); }, TFailure::DeviceLost, Lost},
        // The watchdog of a transfer finds a port closed by other means.
        {[&] { Reply({0x04}), port.Open = false, unit.SilenceTimeout(); }, TFailure::DeviceLost, Lost},
    };
    for (const auto& [stop, failure, lastLine] : cases) {
        port.Open = true;
        ASSERT_TRUE(unit.Start(MakeImage(1000), 0)) << lastLine;
        for (int t = 0; t < 3; ++t) unit.DetectTick();  // DTR and RTS set
        stop();
        EXPECT_EQ(unit.Failure(), failure) << lastLine;
        EXPECT_EQ(unit.State(), failure == TFailure::None ? TState::Transferring : TState::Failed);
        EXPECT_EQ(log.back(), lastLine);
        const auto last = std::find_if(port.Events.rbegin(), port.Events.rend(),
                                       [](const auto& e) { return e.Kind == TRecordingLink::TKind::Lines; });
        EXPECT_TRUE(!port.Open || (last->ClearDtr && last->ClearRts)) << lastLine;  // closed: no lines
        port.Take();
        unit.DetectTick();
        EXPECT_EQ(port.Take(), "") << lastLine;  // the ticks have stopped
        unit.DeviceLost();                       // ends a transfer, so that the next case can start
    }
    EXPECT_EQ(std::ranges::count(log, Lost), 4);  // rows 5 and 6, and the two transfers ended above
}

TEST_F(BootUpdate, PagesComeFromTheImageTakenAtStartAndTheLastOneResets) {
    TFirmwareImage image = MakeImage(1000);
    const Bytes original = image.Image;
    ASSERT_TRUE(unit.Start(image, 0x80));
    image.Image.assign(1000, 0xEE);  // the caller's image changes: the update does not see it
    EXPECT_FALSE(unit.Start(MakeImage(2000), 0));
    port.Take();
    EXPECT_FALSE(Reply({0x04}));
    EXPECT_FALSE(Reply({0x04}));  // BootInfo once only
    EXPECT_EQ(port.Take(), Clear + "BootInfo ch=bb 5a a5 e8 03 00 00\n");
    for (const auto& [page, warned, percent] :
         {std::tuple{7, false, 89}, {8, false, 100}, {9, true, 100}, {0, false, 0}, {65535, true, 100}}) {
        log.clear();
        Bytes expected = {0x07, uint8_t(page), uint8_t(page >> 8)};
        for (int i = page * 128; i < page * 128 + 128; ++i) expected.push_back(i < 1000 ? original[i] : 0);
        EXPECT_EQ(PageSent(uint16_t(page)), expected) << page;
        EXPECT_EQ(log, warned ? Lines{"Block " + std::to_string(page) + " out of range!"} : Lines{});
        EXPECT_EQ(progress, percent) << page;
    }
    unit.SilenceTimeout();
    EXPECT_EQ(log.back(), "Bootloader is not responding.");  // and the transfer goes on
    EXPECT_FALSE(Reply({0x08, 5}));                          // no page number: nothing to answer
    EXPECT_TRUE(Reply({0x1A, 0, 0}));
    EXPECT_EQ(port.Take(), "");
    log.clear();
    EXPECT_FALSE(Reply({0x09, 0x07, 0x80}));
    EXPECT_EQ(port.Take(), Set);
    EXPECT_TRUE(unit.State() == TState::Resetting && unit.Busy());
    unit.PulseEnd();
    EXPECT_EQ(port.Take(), Clear + "SoftReset ch=81\n");
    EXPECT_EQ(log, (Lines{"Page 7 write!", "Finish.", "Soft reset..."}));
    ExpectEnded(TState::Finished, TFailure::None);
    unit.Reset(0x80), unit.PulseEnd();  // the operator's reset: the same pulse after the command
    EXPECT_EQ(port.Take(), "SoftReset ch=81\n" + Set + Clear);
}

TEST_F(BootUpdate, FlashErrorOrAnotherSizeFailsTheUpdateWithoutAReset) {
    const std::pair<std::vector<Bytes>, std::string> cases[] = {
        {{{0x08, 3, 0}, {0x09, 3, 0x40}, {0x09, 4, 0}, {0x09, 7, 0x80}}, "flash error on page 3."},
        {{{0x08, 7, 0}, {0x09, 7, 0xC0}}, "flash error on page 7."},
        {{{0x09, 3, 0x40}, {0x09, 5, 0x40}, {0x09, 5, 0x40}, {0x09, 7, 0x80}}, "flash error on pages 3, 5."},
        {{{0x08, 3, 0x10}, {0x09, 3, 0xC0}}, "flash error on page 4099."},  // 12 bits of it in the status
        {{{0x05, 0x13, 2, 0, 4, 0, 0}}, "the bootloader prepares 1024 bytes, the image has 524800."},
    };
    for (const auto& [replies, line] : cases) {
        ASSERT_TRUE(unit.Start(MakeImage(4100 * 128), 0x80));
        Reply({0x04});
        for (const Bytes& reply : replies) EXPECT_FALSE(Reply(reply));
        EXPECT_EQ(log.back(), "Firmware update failed: " + line);
        // No "Finish.", no SoftReset: the controller stays in its bootloader.
        EXPECT_TRUE(std::ranges::count(log, "Finish.") == 0 && port.Packets(0x5A).empty());
        ExpectEnded(TState::Failed, line[0] == 'f' ? TFailure::FlashError : TFailure::SizeMismatch);
        EXPECT_EQ(PageSent(8), Bytes{});  // and asks in vain
    }
}

TEST_F(BootUpdate, FilesLoadOrAreRefusedWithTheirReasonAndARefusalKeepsTheImage) {
    const QString path = dir.filePath("fw.kwy");
    const std::tuple<const char*, uint32_t, size_t, uint32_t, std::string> cases[] = {
        // signature (none: a header cut short), size field, bytes present, size loaded, error
        {"KWYS", MiB, MiB, MiB, ""},           {"KWYS", MiB + 1, MiB + 1, 0, "file too large"},
        {"KWYS", 1000, 990, 0, "file broken"}, {"KWYS", 0, 0, 0, ""},
        {"KWYS", 100, 300, 100, ""},           {"KWYZ", 16, 16, 0, "invalid signature."},
        {nullptr, 0, 0, 0, "file broken"}};
    for (const auto& [signature, field, present, size, reason] : cases) {
        ASSERT_TRUE(WriteKwy(path, 0x1234, KwyPattern(64, 9)) && frame.LoadImage(path));
        QFile out(path);
        ASSERT_TRUE(signature ? WriteKwy(path, 0x2143, field, KwyPattern(present), signature)
                              : out.open(QIODevice::WriteOnly) && out.write("KWYS\x01\x02\x03") == 7);
        out.close();
        log.clear();
        EXPECT_EQ(frame.LoadImage(path), reason.empty()) << reason;
        EXPECT_EQ(log, reason.empty() ? Lines{} : Lines{"Cannot load \"fw.kwy\": " + reason});
        EXPECT_EQ(frame.FW.DeviceCode, reason.empty() ? 0x2143 : 0x1234) << reason;
        const auto image = reason.empty() ? KwyPattern(size) : KwyPattern(64, 9);
        EXPECT_TRUE(frame.FW.Image == image && frame.FW.ImageSize == image.size()) << reason;
    }
    EXPECT_FALSE(frame.LoadImage(dir.filePath("absent.kwy")));
    EXPECT_EQ(TFirmwareImage().Progress(5), 0);  // of an empty image
}

TEST_F(BootUpdate, OpenAndUpdateWaitForARunningUpdateAndNoLoadReachesIt) {
    port.ActiveLink = 3;
    const auto reply = [&](Bytes p) { return frame.HandleReply(p.data(), uint8_t(p.size())); };
    const auto shown = [&] {  // Open FW, Update FW, progress bar
        return std::to_string(frame.ActionOpenFW->isEnabled()) +
               std::to_string(frame.ActionUpdateFW->isEnabled()) +
               std::to_string(frame.ProgressBar1->isVisibleTo(&frame));
    };
    EXPECT_TRUE(reply({0x04}));  // no image: nothing here is for this frame
    EXPECT_EQ(shown(), "100");
    ASSERT_TRUE(frame.LoadImage(Kwy("a.kwy", 256, 256, 1)));
    Kwy("a.kwy", 128, 128, 4);  // rebuilt since it was opened: the update sends what it holds now
    frame.ActionUpdateFWExecute();
    EXPECT_EQ(shown(), "001");
    EXPECT_FALSE(reply({0x04}));
    EXPECT_TRUE(frame.LoadImage(Kwy("b.kwy", 2048, 2048, 2)));   // the next update's image
    EXPECT_FALSE(frame.LoadImage(Kwy("bad.kwy", 1000, 10, 3)));  // nobody's
    EXPECT_EQ(log.back(), "Vek#3: Cannot load \"bad.kwy\": file broken");
    port.Clear();
    reply({0x08, 0, 0});
    EXPECT_EQ(port.Describe(), "BootPage ch=bb 00 00 04 0b 12 19 20\n");  // the rebuilt a.kwy
    EXPECT_FALSE(reply({0x09, 0x00, 0x80}));
    EXPECT_EQ(shown(), "000");  // the reset pulse is pending
    frame.Update->PulseEnd();
    EXPECT_EQ(shown(), "100");  // Update FW waits for a good image
    frame.ActionResetExecute();
    EXPECT_EQ(shown(), "000");  // the operator's reset pulse holds them too
}
}  // namespace
