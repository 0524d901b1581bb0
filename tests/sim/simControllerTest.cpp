// The simulated controller's logic on a synthetic clock: motor model and flags, refused input,
// bootloader corner cases, trace lines and options.
#include <gtest/gtest.h>

#include "sim/simController.h"
#include "sim/simOptions.h"
#include "sim/simTrace.h"

namespace {
using TPayload = std::vector<uint8_t>;

struct TRig {
    std::vector<std::pair<uint8_t, TPayload>> out;
    sim::TSimController c;
    int64_t now = 1'000'000;

    explicit TRig(const sim::TSimSettings& s = {})
        : c(s, [this](uint8_t channel, const TPayload& p) {
              out.push_back({channel, p});
          }) {}
    void Send(uint8_t channel, const TPayload& p) {
        c.HandlePacket(channel, p.data(), uint8_t(p.size()), now);
    }
    void Advance(int64_t us) {
        now += us;
        c.Tick(now);
    }
    // Sends the throttle every 100 ms for the given time, as the program's test control does.
    void Run(uint16_t throttle, int64_t us) {
        for (int64_t t = 0; t < us; t += 100'000) {
            Send(0x01, {zuq::Cmd::Throttle, uint8_t(throttle & 0xFF), uint8_t(throttle >> 8)});
            Advance(100'000);
        }
    }
    TPayload Status(uint8_t channel = 0x01) {
        out.clear();
        Send(channel, {zuq::Cmd::StatusRequest, 0});
        EXPECT_EQ(out.size(), 1u);
        return out.empty() ? TPayload(30) : out.back().second;
    }
    uint8_t Flags() { return Status()[1 + 18]; }
    int16_t Current() { return int16_t(sim::U16(&Status()[1])); }
    void SetRecord(const sim::TConfigBytes& r, uint8_t command = zuq::Cmd::ConfigSet,
                   uint8_t channel = 0x01) {
        TPayload p = {command};
        p.insert(p.end(), r.begin(), r.end());
        Send(channel, p);
    }
    size_t Count(uint8_t code) const {
        size_t n = 0;
        for (const auto& [ch, p] : out) n += p[0] == code;
        return n;
    }
};

TPayload BootInfo(uint16_t code, uint32_t size) {
    TPayload p = {zuq::Cmd::BootInfo, 0, 0, 0, 0, 0, 0};
    sim::Put16(&p[1], code);
    sim::Put32(&p[3], size);
    return p;
}

TPayload Page(uint16_t page, uint8_t fill, size_t bytes = 128) {
    TPayload p = {zuq::Cmd::BootPage, uint8_t(page & 0xFF), uint8_t(page >> 8)};
    p.insert(p.end(), bytes, fill);
    return p;
}

using namespace sim::StatusFlag;
}  // namespace

TEST(SimMotor, SpinsUpRunsAndStopsWhenThrottleEnds) {
    TRig rig;
    EXPECT_EQ(rig.Flags(), Stopped);
    const TPayload idle = rig.Status();

    rig.Run(500, 100'000);
    EXPECT_EQ(rig.Flags() & (Stopped | Starting), Starting);
    rig.Run(500, 3'000'000);
    const TPayload running = rig.Status();
    EXPECT_EQ(running[1 + 18] & (Stopped | Starting), 0);
    EXPECT_NEAR(sim::U16(&running[1 + 12]), 6000, 60);                                  // AvgSpeed at 50 %
    EXPECT_EQ(sim::U16(&running[1 + 6]), 500);                                          // ThrottleLevel
    EXPECT_EQ(sim::U16(&running[1 + 25]), 500);                                         // InputPc
    EXPECT_GT(int16_t(sim::U16(&running[1])), 50);                                      // current flows
    EXPECT_LT(sim::U16(&running[1 + 2]), sim::U16(&idle[1 + 2]));                    // the battery sags
    EXPECT_GT(int16_t(sim::U16(&running[1 + 4])), int16_t(sim::U16(&idle[1 + 4])));  // warmer
    EXPECT_GT(sim::U16(&running[1 + 14]), 0);  // timing delay while turning

    // No throttle for longer than 300 ms: the controller stops the motor by itself.
    rig.Advance(150'000);  // 250 ms after the last throttle
    EXPECT_EQ(sim::U16(&rig.Status()[1 + 6]), 500) << "still within the time-out";
    rig.Advance(100'000);
    EXPECT_EQ(sim::U16(&rig.Status()[1 + 6]), 0);
    rig.Advance(3'000'000);
    EXPECT_EQ(rig.Flags() & Stopped, Stopped);
    EXPECT_EQ(rig.Current(), 0);
}

TEST(SimMotor, ThrottleLimitsOfTheRecordInUse) {
    struct TCase {
        uint16_t throttle;
        uint16_t expectedLevel;
    };
    // Defaults: min_PWM 40, max_PWM 950.
    for (TCase c : {TCase{39, 0}, TCase{40, 40}, TCase{950, 950}, TCase{1000, 950}, TCase{0xFFFF, 950}}) {
        TRig rig;
        rig.Run(c.throttle, 200'000);
        EXPECT_EQ(sim::U16(&rig.Status()[1 + 6]), c.expectedLevel) << c.throttle;
    }
}

TEST(SimMotor, OverloadAndOverheatAgainstTheRecordInUse) {
    sim::TSimSettings settings;
    settings.Mode = 4;
    TRig rig(settings);
    sim::TConfigBytes r = sim::DefaultRecord(4);
    sim::Put16(&r[sim::Rec::MaxCurrent], 50);  // 5.0 A
    sim::Put16(&r[sim::Rec::LimitTemp], 300);  // 30.0 degrees
    rig.SetRecord(r);
    rig.Run(900, 10'000'000);
    EXPECT_EQ(rig.Flags() & (Overload | Overheat), Overload) << "the limited current keeps it cool";
    EXPECT_EQ(rig.Current(), 50) << "the controller limits the current";
    sim::Put16(&r[sim::Rec::MaxCurrent], 300);
    rig.SetRecord(r);
    rig.Run(900, 1'000'000);
    EXPECT_EQ(rig.Flags() & (Overload | Overheat), 0) << "heating takes time";
    rig.Run(900, 30'000'000);
    EXPECT_EQ(rig.Flags() & (Overload | Overheat), Overheat);
    // After a reset RAM holds the flash record again, with the default 90 degree limit.
    rig.Send(0x01, {zuq::Cmd::SoftReset});
    rig.Run(900, 500'000);
    EXPECT_EQ(rig.Flags() & (Overload | Overheat), 0);
    // The motor cools again once stopped.
    const int16_t hot = int16_t(sim::U16(&rig.Status()[1 + 4]));
    rig.Advance(60'000'000);
    EXPECT_LT(int16_t(sim::U16(&rig.Status()[1 + 4])), hot);
}

TEST(SimMotor, MelodyFetTestAndShortCircuitFlags) {
    TRig rig;
    rig.Send(0x01, {zuq::Cmd::Melody, 0});
    rig.Advance(1'000'000);
    EXPECT_EQ(rig.Flags() & Sound, Sound);
    rig.Advance(1'100'000);
    EXPECT_EQ(rig.Flags() & Sound, 0);

    struct TCase {
        uint16_t pattern;
        uint8_t during;
    };
    // A high ON + B low PWM is safe; A high ON + A low ON shorts phase A; C high PWM + C low PWM too.
    for (TCase c :
         {TCase{0x0408, sim::StatusFlag::Test}, TCase{0x0410, ShortCircuit}, TCase{0x0082, ShortCircuit}}) {
        TRig fet;
        fet.Send(0x01,
                 {zuq::Cmd::FetTest, uint8_t(c.pattern & 0xFF), uint8_t(c.pattern >> 8), 0x7D, 0, 0xF4, 1});
        fet.Advance(100'000);
        EXPECT_EQ(fet.Flags() & (sim::StatusFlag::Test | ShortCircuit), c.during) << std::hex << c.pattern;
        fet.Advance(1'500'000);  // past the 500 ms delay and the one-second hold
        EXPECT_EQ(fet.Flags() & (sim::StatusFlag::Test | ShortCircuit), 0) << std::hex << c.pattern;
    }
}

TEST(SimController, RefusesBadRecordsAndKeepsItsOwn) {
    TRig rig;
    sim::TConfigBytes badSignature = sim::DefaultRecord(3);
    badSignature[3] = 'X';
    sim::TConfigBytes badNumber = sim::DefaultRecord(3);
    badNumber[sim::Rec::Number] = 17;
    for (uint8_t command : {zuq::Cmd::ConfigSet, zuq::Cmd::ConfigFlash}) {
        rig.out.clear();
        rig.SetRecord(badSignature, command);
        rig.SetRecord(badNumber, command);
        TPayload shortRecord = {command};
        const sim::TConfigBytes good = sim::DefaultRecord(3);
        shortRecord.insert(shortRecord.end(), good.begin(), good.begin() + 50);
        rig.Send(0x01, shortRecord);
        EXPECT_TRUE(rig.out.empty()) << "a refused record is not acknowledged";
    }
    // Garbage, wrong sums and unknown commands in the byte stream change nothing either.
    std::vector<uint8_t> noise;
    for (int i = 0; i < 4000; ++i) noise.push_back(uint8_t(i * 37 + (i >> 3)));
    zuq::TPacket wrongSum;
    TPayload flash = {zuq::Cmd::ConfigFlash};
    flash.insert(flash.end(), badSignature.begin(), badSignature.end());
    zuq::BuildPacket(wrongSum, 0x01, flash.data(), flash.size());
    wrongSum.Bytes[zuq::OffSum] ^= 1;
    noise.insert(noise.end(), wrongSum.Bytes, wrongSum.Bytes + zuq::PacketSize(wrongSum));
    rig.c.Feed(noise.data(), noise.size(), rig.now);
    rig.Send(0x01, {0xEE, 1, 2, 3});
    for (int i = 0; i < sim::RecordCount; ++i) {
        EXPECT_EQ(rig.c.Line().Ram[size_t(i)], sim::DefaultRecord(uint8_t(i))) << i;
        EXPECT_EQ(rig.c.Line().Flash[size_t(i)], sim::DefaultRecord(uint8_t(i))) << i;
    }
    // Still answering after all that.
    rig.out.clear();
    rig.Send(0x01, {zuq::Cmd::Ping});
    ASSERT_EQ(rig.out.size(), 1u);
    EXPECT_EQ(rig.out[0].second, TPayload{zuq::Cmd::Echo});
}

TEST(SimController, StatusStreamKeepsItsPaceAndStops) {
    TRig rig;
    rig.Send(0x01, {zuq::Cmd::StatusRequest, 20});
    EXPECT_EQ(rig.Count(zuq::Cmd::Status), 1u);  // one at once
    for (int i = 0; i < 100; ++i) rig.Advance(10'000);
    EXPECT_EQ(rig.Count(zuq::Cmd::Status), 21u);  // and 20 in the second that follows
    rig.Send(0x01, {zuq::Cmd::StatusRequest, 0});
    const size_t stopped = rig.Count(zuq::Cmd::Status);
    rig.Advance(1'000'000);
    EXPECT_EQ(rig.Count(zuq::Cmd::Status), stopped);
    // Above 250 per second counts as 250.
    rig.Send(0x01, {zuq::Cmd::StatusRequest, 255});
    for (int i = 0; i < 1000; ++i) rig.Advance(1'000);
    EXPECT_EQ(rig.Count(zuq::Cmd::Status), stopped + 1 + 250);
}

TEST(SimBootloader, StartsAfterARestartAndOnlyThenTakesRequests) {
    TRig rig;
    rig.Send(0xBB, BootInfo(sim::DefaultDeviceCode, 256));
    EXPECT_TRUE(rig.out.empty()) << "no bootloader runs yet";
    rig.Send(0x01, {zuq::Cmd::StartUpdate});
    rig.Advance(150'000);
    EXPECT_EQ(rig.Count(zuq::Cmd::BootReady), 0u);
    rig.Advance(60'000);
    ASSERT_EQ(rig.Count(zuq::Cmd::BootReady), 1u);
    EXPECT_EQ(rig.out.back().first, 0xBB);

    // The application is gone meanwhile; the wake-up sequence gets another BootReady.
    rig.out.clear();
    rig.Send(0x01, {zuq::Cmd::Ping});
    EXPECT_TRUE(rig.out.empty());
    const uint8_t wake[] = {'x', 'B', 'O', 'O', 'T', 'Q', 'O', 'X'};
    rig.Advance(100'000);
    rig.c.Feed(wake, sizeof wake, rig.now);
    EXPECT_EQ(rig.Count(zuq::Cmd::BootReady), 1u);

    rig.Send(0x01, {zuq::Cmd::SoftReset});
    rig.out.clear();
    rig.Send(0x01, {zuq::Cmd::Ping});
    EXPECT_EQ(rig.Count(zuq::Cmd::Echo), 1u);
}

TEST(SimBootloader, PagesOutOfTurnDuplicatesAndOddSizes) {
    TRig rig;
    rig.Send(0x01, {zuq::Cmd::StartUpdate});
    rig.Advance(300'000);
    rig.out.clear();
    rig.Send(0xBB, BootInfo(sim::DefaultDeviceCode, 300));  // 3 pages, the last with 44 bytes
    ASSERT_EQ(rig.out.size(), 2u);
    EXPECT_EQ(rig.out[1].second, (TPayload{zuq::Cmd::BootPageRequest, 0, 0}));

    rig.out.clear();
    rig.Send(0xBB, Page(1, 0x11));         // not the page asked for
    rig.Send(0xBB, Page(4000, 0x11));      // far out of range
    rig.Send(0xBB, {zuq::Cmd::BootPage});  // no page number
    EXPECT_TRUE(rig.out.empty());
    rig.Send(0xBB, Page(0, 0x22, 60));  // cut short: asked for again
    ASSERT_EQ(rig.out.size(), 1u);
    EXPECT_EQ(rig.out[0].second, (TPayload{zuq::Cmd::BootPageRequest, 0, 0}));

    rig.out.clear();
    rig.Send(0xBB, Page(0, 0xA0));
    rig.Send(0xBB, Page(0, 0xEE));  // a duplicate answer to a repeated request
    rig.Send(0xBB, Page(1, 0xA1));
    rig.Send(0xBB, Page(2, 0xA2));
    std::vector<TPayload> expected = {{zuq::Cmd::BootPageWritten, 0, 0},
                                      {zuq::Cmd::BootPageRequest, 1, 0},
                                      {zuq::Cmd::BootPageWritten, 1, 0},
                                      {zuq::Cmd::BootPageRequest, 2, 0},
                                      {zuq::Cmd::BootPageWritten, 2, 0x80}};
    ASSERT_EQ(rig.out.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(rig.out[i].second, expected[i]) << i;
    const std::vector<uint8_t>& image = rig.c.Line().Boot.Image();
    ASSERT_EQ(image.size(), 300u);
    EXPECT_EQ(image[0], 0xA0);
    EXPECT_EQ(image[127], 0xA0);
    EXPECT_EQ(image[128], 0xA1);
    EXPECT_EQ(image[299], 0xA2);

    struct TCase {
        uint32_t size;
        TPayload first;
    };
    for (TCase c : {TCase{0, {zuq::Cmd::BootInfo, 0x13, 0x02, 0, 0, 0, 0}},
                    TCase{sim::MaxImageSize + 1, {zuq::Cmd::BootInvalidDevice}}}) {
        rig.out.clear();
        rig.Send(0xBB, BootInfo(sim::DefaultDeviceCode, c.size));
        ASSERT_FALSE(rig.out.empty());
        EXPECT_EQ(rig.out[0].second, c.first) << c.size;
    }
}

TEST(SimBootloader, NodeOnTheNetUpdatesWhileTheLineControllerAnswers) {
    sim::TSimSettings settings;
    settings.Nodes = {3};
    TRig rig(settings);
    rig.Send(0x01, {zuq::Cmd::SelectLink, 3});
    rig.Send(0x81, {zuq::Cmd::StartUpdate});
    rig.Advance(300'000);
    rig.out.clear();
    rig.Send(0x01, {zuq::Cmd::Ping});
    rig.Send(0xBB, BootInfo(sim::DefaultDeviceCode, 128));
    rig.Send(0xBB, Page(0, 0x5A));
    rig.Send(0x81, {zuq::Cmd::SoftReset});
    rig.Send(0x81, {zuq::Cmd::Identify});
    ASSERT_EQ(rig.out.size(), 5u);  // Echo, BootInfo, BootPageRequest, BootPageWritten, Identify
    EXPECT_EQ(rig.out[0], (std::pair<uint8_t, TPayload>{0x04, {zuq::Cmd::Echo}}));
    EXPECT_EQ(rig.out[1].first, 0xBB);
    EXPECT_EQ(rig.out[3].second, (TPayload{zuq::Cmd::BootPageWritten, 0, 0x80}));
    EXPECT_EQ(rig.out[4].first, 0x84);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&rig.out[4].second[1])),
              sim::TSimController::FirmwareText(TPayload(128, 0x5A)));
    EXPECT_EQ(rig.c.Line().Firmware, "VekSim 1.0");
}

TEST(SimTrace, LinesStartWithTimeDirectionAndCommand) {
    const uint8_t throttle[] = {0x46, 0x7D, 0x00};
    EXPECT_EQ(sim::TraceLine(123456789, "in", 0x01, throttle, 3),
              "123456789 in  Throttle ch=01 len=3 46 7d 00\n");
    const uint8_t active[] = {0x5B, 0x02};
    EXPECT_EQ(sim::TraceLine(5, "out", 0x04, active, 2, "(dropped)"),
              "5 out ActiveLink ch=04 len=2 5b 02 (dropped)\n");
}

TEST(SimOptions, ParsesEveryOptionAndRefusesNonsense) {
    sim::TSimOptions o;
    std::string error;
    ASSERT_TRUE(sim::ParseSimOptions({"--nodes",
                                      "0,2,5",
                                      "--mode=3",
                                      "--device-code",
                                      "0x1234",
                                      "--baud",
                                      "115200",
                                      "--drop",
                                      "0.25",
                                      "--corrupt=0.5",
                                      "--reply-delay",
                                      "20",
                                      "--silent-after",
                                      "7",
                                      "--unplug-after",
                                      "1.5",
                                      "--trace",
                                      "--flash-error-page",
                                      "9",
                                      "--dump-firmware",
                                      "/tmp/x",
                                      "--seed",
                                      "3"},
                                     o, error))
        << error;
    EXPECT_EQ(o.Settings.Nodes, (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(o.Settings.Mode, 3);
    EXPECT_EQ(o.Settings.Boot.DeviceCode, 0x1234);
    EXPECT_EQ(o.Settings.Boot.FlashErrorPage, 9);
    EXPECT_EQ(o.Line.Baud, 115200);
    EXPECT_DOUBLE_EQ(o.Line.Drop, 0.25);
    EXPECT_DOUBLE_EQ(o.Line.Corrupt, 0.5);
    EXPECT_EQ(o.Line.ReplyDelayMs, 20);
    EXPECT_EQ(o.Line.SilentAfter, 7);
    EXPECT_DOUBLE_EQ(o.Line.UnplugAfterS, 1.5);
    EXPECT_TRUE(o.Line.Trace);
    EXPECT_EQ(o.Line.DumpFirmware, "/tmp/x");
    EXPECT_EQ(o.Line.Seed, 3u);

    for (const auto& bad : std::vector<std::vector<std::string>>{{"--nodes", "1,,2"},
                                                                 {"--nodes", "-1"},
                                                                 {"--mode", "x"},
                                                                 {"--device-code", "0x10000"},
                                                                 {"--baud", "0"},
                                                                 {"--corrupt", "nan"},
                                                                 {"--firmware", "twenty characters!!!"},
                                                                 {"--unplug-after"},
                                                                 {"stray"}}) {
        sim::TSimOptions x;
        std::string why;
        EXPECT_FALSE(sim::ParseSimOptions(bad, x, why)) << bad[0];
        EXPECT_FALSE(why.empty()) << bad[0];
    }
}

TEST(SimController, EachNodeStreamsAndRunsItsOwnMotor) {
    sim::TSimSettings settings;
    settings.Nodes = {5, 2, 5};  // duplicates collapse
    settings.Mode = 9;
    TRig rig(settings);
    EXPECT_EQ(rig.c.LinkMask(), (1u << 2) | (1u << 5));
    rig.Send(0x01, {zuq::Cmd::SelectLink, 5});
    rig.Send(0x81, {zuq::Cmd::StatusRequest, 10});
    rig.Send(0x01, {zuq::Cmd::StatusRequest, 5});
    rig.Run(600, 1'000'000);  // throttle on the line channel
    size_t line = 0, node = 0;
    for (const auto& [channel, p] : rig.out) {
        if (p[0] != zuq::Cmd::Status) continue;
        ASSERT_TRUE(channel == 0x04 || channel == 0x84);
        EXPECT_EQ(p[1 + 16], 9);                        // Mode
        EXPECT_EQ(p[1 + 17], channel == 0x84 ? 5 : 0);  // Address: the link number on the net
        (channel == 0x04 ? line : node)++;
    }
    EXPECT_EQ(line, 1u + 5);
    EXPECT_EQ(node, 1u + 10);
    // Run() throttles on 0x01: the line's motor turns, node 5's does not.
    EXPECT_EQ(rig.Flags() & Stopped, 0);
    rig.out.clear();
    rig.Send(0x81, {zuq::Cmd::StatusRequest, 0});
    ASSERT_EQ(rig.out.size(), 1u);
    EXPECT_EQ(rig.out[0].second[1 + 18] & Stopped, Stopped);
}
