// The simulated controller's logic on a synthetic clock: requests and replies, records, the net, the
// bootloader, telemetry and the motor model, and the options.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <tuple>

#include "config/configRecord.h"
#include "link/zuq.h"
#include "sim/simController.h"
#include "sim/simOptions.h"

namespace {
using namespace zuq::Cmd;
using TPayload = std::vector<uint8_t>;
using TSent = std::vector<std::pair<uint8_t, TPayload>>;
using namespace sim::StatusFlag;
constexpr uint8_t Raw = 0;     // a step whose bytes go on the line as they are, outside any packet
constexpr uint8_t Flags = 18;  // offset of the flags byte in the status record

// One step of a script: time passes, a request (or raw bytes) reaches the controller, and the
// replies sent meanwhile must be these; `to` is who the request's channel reaches before it is handled.
struct TStep {
    int64_t afterUs;
    uint8_t channel;
    TPayload request;
    TSent replies;
    const char* to = nullptr;
};

class SimController : public ::testing::Test {
protected:
    void Start() {
        c.emplace(settings, [this](uint8_t channel, const TPayload& p) { out.push_back({channel, p}); });
    }
    void Send(uint8_t channel, const TPayload& p) {
        if (channel == Raw) return c->Feed(p.data(), p.size(), now);
        c->HandlePacket(channel, p.data(), uint8_t(p.size()), now);
    }
    void Advance(int64_t us) { c->Tick(now += us); }
    void Play(const std::vector<TStep>& steps) {
        for (size_t i = 0; i < steps.size(); ++i) {
            const TStep& s = steps[i];
            out.clear();
            if (s.afterUs > 0) Advance(s.afterUs);
            EXPECT_TRUE(!s.to || c->TargetName(s.channel) == s.to)
                << "step " << i << ": " << c->TargetName(s.channel);
            if (!s.request.empty()) Send(s.channel, s.request);
            EXPECT_EQ(out, s.replies) << "step " << i;
        }
    }
    // Sends the throttle every 100 ms for the given time, as the program's test control does.
    void Run(uint16_t throttle, int64_t us) {
        for (int64_t t = 0; t < us; t += 100'000, Advance(100'000)) Send(0x01, Word(Throttle, throttle));
    }
    // A field of the status record: the 16-bit value at an offset, or the byte at 16, 17 and 18.
    int Field(int offset, uint8_t channel = 0x01) {
        out.clear();
        Send(channel, {StatusRequest, 0});
        if (out.size() != 1 || out[0].second.size() != 30) return ADD_FAILURE() << "no status", -1;
        const uint8_t* r = &out[0].second[1];
        return offset >= 16 && offset <= 18 ? r[offset] : int16_t(sim::U16(r + offset));
    }

    static TPayload Word(uint8_t command, uint16_t w) { return {command, uint8_t(w), uint8_t(w >> 8)}; }
    static TPayload U32(uint32_t v) {
        return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    static TPayload Bytes(const std::string& text) { return {text.begin(), text.end()}; }
    template <class T>
    static TPayload Cat(TPayload p, const T& t) {
        return p.insert(p.end(), t.begin(), t.end()), p;
    }
    static TPayload BootInfoOf(uint16_t code, uint32_t size) { return Cat(Word(BootInfo, code), U32(size)); }
    // Record n with its Max_Current (0.1 A) and Limit_Temp (0.1 degree) changed.
    static sim::TConfigBytes Changed(uint8_t n, uint16_t maxCurrent, int16_t limitTemp = 900) {
        sim::TConfigBytes r = sim::DefaultRecord(n);
        sim::Put16(&r[sim::Rec::MaxCurrent], maxCurrent);
        sim::Put16(&r[sim::Rec::LimitTemp], uint16_t(limitTemp));
        return r;
    }

    sim::TSimSettings settings;
    std::optional<sim::TSimController> c;
    TSent out;
    int64_t now = 1'000'000;
};
}  // namespace

TEST_F(SimController, AnswersOnTheLineAndOverTheNetAndKeepsItsRecords) {
    for (uint8_t n = 0; n < sim::RecordCount; ++n)  // the factory records are the program's defaults
        EXPECT_EQ(sim::DefaultRecord(n), ConfigRecord::Defaults(n).ToBytes()) << int(n);
    settings.Nodes = {30, 4, 1, 4};  // in any order, duplicates collapse
    Start();
    const TPayload ack = {ConfigUploaded, ConfigSet};
    // clang-format off
    Play({
        // Ping, Identify and the records on the line show in the end-to-end and vekctl tests.
        {0, 0x01, {ScanLinks}, {{0x04, {ScanLinks, 0x12, 0x00, 0x00, 0x40}}}, "line"},
        {0, 0x81, {Ping}, {}, "nobody"},
        {0, 0x01, {SelectLink, 4}, {{0x04, {ActiveLink, 4}}}},
        {0, 0x81, Cat({ConfigSet}, Changed(2, 77)), {{0x84, ack}}, "node4"},
        {0, 0x81, {ConfigGet, 2}, {{0x84, Cat({ConfigData}, Changed(2, 77))}}},
        {0, 0x01, {ConfigGet, 2}, {{0x04, Cat({ConfigData}, sim::DefaultRecord(2))}}},
        {0, 0x01, {SelectLink, 0xFF}, {{0x04, {ActiveLink, 0xFF}}}}, {0, 0x81, {Ping}, {}, "nobody"},
        {0, 0x01, Cat({ConfigSet}, Changed(5, 123)), {{0x04, ack}}},
        {0, 0x01, Cat({ConfigFlash}, Changed(6, 456)), {{0x04, ack}}},
        {0, 0x01, {ConfigGet, 5}, {{0x04, Cat({ConfigData}, Changed(5, 123))}}},
        {0, 0xBB, BootInfoOf(sim::DefaultDeviceCode, 128), {}, "nobody"},
        {0, Raw, Bytes("BOOTQOX"), {}},  // the applications ignore the wake-up sequence
        // A restart loads RAM from flash.
        {0, 0x01, {SoftReset}, {}},
        {0, 0x01, {ConfigGet, 5}, {{0x04, Cat({ConfigData}, sim::DefaultRecord(5))}}},
        {0, 0x01, {ConfigGet, 6}, {{0x04, Cat({ConfigData}, Changed(6, 456))}}}});
    // clang-format on
}

// The pages, their flash errors and the image they leave show in the end-to-end and vekctl firmware
// tests; here how the bootloader is woken and what it refuses.
TEST_F(SimController, BootloaderWakesAtItsPaceAndRefusesAnotherDevice) {
    Start();
    const uint16_t code = sim::DefaultDeviceCode;
    const TPayload info = Cat(Word(BootInfo, 0x0213), U32(300));  // version 2.3
    const TSent invalid = {{0xBB, {BootInvalidDevice}}};
    // clang-format off
    Play({
        {0, 0x01, {StartUpdate}, {}}, {150'000, 0x01, {}, {}},
        {60'000, 0x01, {Ping}, {{0xBB, {BootReady}}}},  // the application is gone meanwhile
        {0, Raw, Bytes("BBOOTQOX"), {}},                 // at most one BootReady per 100 ms
        {100'000, Raw, Bytes("BBOOTQOX"), {{0xBB, {BootReady}}}},
        {0, 0xBB, BootInfoOf(0x1111, 300), invalid},
        {0, 0xBB, BootInfoOf(code, 300), {{0xBB, info}, {0xBB, Word(BootPageRequest, 0)}}, "line"},
        {100'000, Raw, Bytes("BOOTQOX"), {}},  // no BootReady during a transfer
        {0, 0xBB, BootInfoOf(0x1111, 300), invalid}});  // nor a restart of it
    // clang-format on
}

TEST_F(SimController, StatusStreamsKeepTheirPaceForEachController) {
    settings.Nodes = {5};
    settings.Mode = 9;
    Start();
    Send(0x01, {SelectLink, 5});
    Send(0x81, {StatusRequest, 10});
    Send(0x01, {StatusRequest, 5});
    Run(600, 1'000'000);  // throttle on the line's channel
    // One at once, then the rate in the second; Mode is the record in use, Address the link on the net.
    std::map<std::tuple<uint8_t, int, int>, int> streamed;  // channel, Mode, Address: count
    for (const auto& [channel, p] : out)
        if (p[0] == Status) ++streamed[{channel, p[1 + 16], p[1 + 17]}];
    EXPECT_EQ(streamed, (decltype(streamed){{{0x04, 9, 0}, 1 + 5}, {{0x84, 9, 5}, 1 + 10}}));
    EXPECT_EQ(Field(Flags) & Stopped, 0);
    EXPECT_EQ(Field(Flags, 0x81) & Stopped, Stopped) << "the throttle went to the line's motor only";
    Send(0x01, {StatusRequest, 0});  // 0 ends the stream
    out.clear();
    Advance(1'000'000);
    EXPECT_TRUE(out.empty());
}

TEST_F(SimController, MotorAndFlagsFollowTheCommandsWithinTheLimitsOfTheRecordInUse) {
    settings.Mode = 4;
    Start();
    constexpr uint8_t Test = Stopped | sim::StatusFlag::Test, Short = Stopped | sim::StatusFlag::ShortCircuit,
                      Sound = Stopped | sim::StatusFlag::Sound;
    constexpr int Current = 0, Volts = 2, Temp = 4, Any = 1 << 15;
    auto fet = [](uint16_t pattern) { return Cat(Word(FetTest, pattern), TPayload{0x7D, 0, 0xF4, 1}); };
    // A request, then the throttle every 100 ms (-1: none) for some ms; then a field lies within lo..hi.
    const std::tuple<TPayload, int, int, int, int, int> steps[] = {
        // clang-format off
        // Speeding up and the stop when the throttle stream ends show in the end-to-end tests; here what
        // they do not: the load on the battery, the heat, and the motor at rest.
        {{}, -1, 0, Volts, 168, 168}, {{}, -1, 0, Temp, 250, 250}, {{}, 500, 3000, Flags, 0, 0},
        {{}, -1, 0, Current, 51, Any}, {{}, -1, 0, Volts, 0, 167}, {{}, -1, 0, Temp, 251, Any},
        {{}, -1, 3500, Flags, Stopped, Stopped}, {{}, -1, 0, Current, 0, 0},
        // With at most 5 A and 30 degrees the current is limited and it stays cool; with 30 A it heats,
        // slowly.
        {Cat({ConfigSet}, Changed(4, 50, 300)), 900, 10000, Flags, Overload, Overload},
        {{}, -1, 0, Current, 50, 50}, {Cat({ConfigSet}, Changed(4, 300, 300)), 900, 1000, Flags, 0, 0},
        {{}, 900, 30000, Flags, Overheat, Overheat},
        // A reset loads the flash record again, with 90 degrees; stopped, it cools.
        {{SoftReset}, 900, 500, Flags, 0, 0}, {{}, -1, 0, Temp, 400, Any}, {{}, -1, 60000, Temp, 250, 399},
        {{Melody, 0}, -1, 1000, Flags, Sound, Sound}, {{}, -1, 1100, Flags, Stopped, Stopped},
        // FET tests of 12.5 % for 500 ms: A high ON + B low PWM is safe; A high ON + A low ON shorts
        // phase A, and so do C high PWM + C low PWM, flagged for a second at least.
        {fet(0x0408), -1, 100, Flags, Test, Test}, {{}, -1, 1500, Flags, Stopped, Stopped},
        {fet(0x0410), -1, 100, Flags, Short, Short}, {{}, -1, 1500, Flags, Stopped, Stopped},
        {fet(0x0082), -1, 900, Flags, Short, Short}, {{}, -1, 200, Flags, Stopped, Stopped},
        // clang-format on
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const auto& [request, throttle, ms, field, lo, hi] = steps[i];
        if (!request.empty()) Send(0x01, request);
        if (throttle >= 0) Run(uint16_t(throttle), ms * 1000);
        if (throttle < 0 && ms > 0) Advance(ms * 1000);
        const int value = Field(field);
        EXPECT_TRUE(value >= lo && value <= hi) << "step " << i << ": " << value;
    }
}

TEST(SimOptions, ParsesOptionsAndRefusesNonsense) {
    sim::TSimOptions o;
    std::string error;
    auto parse = [&](const std::string& line) {
        std::istringstream words(line);
        o = {}, error.clear();
        return sim::ParseSimOptions({std::istream_iterator<std::string>(words), {}}, o, error);
    };
    // The options the simulator's other tests, the end-to-end and the vekctl tests start it with show
    // their effect there; these do not, nor does the "=" form.
    ASSERT_TRUE(parse("--mode=3 --firmware 2.1 --serial 0xDEADBEEF --device-code 0x1234 --corrupt=0.5"))
        << error;
    const sim::TSimSettings& s = o.Settings;
    EXPECT_TRUE(s.Mode == 3 && s.Firmware == "2.1" && s.Serial == 0xDEADBEEF && s.Boot.DeviceCode == 0x1234);
    EXPECT_EQ(o.Line.Corrupt, 0.5);
    for (const char* bad : {"--nodes 0,32", "--corrupt nan", "--unplug-after", "stray"})
        EXPECT_FALSE(parse(bad) || error.empty()) << bad;
}
