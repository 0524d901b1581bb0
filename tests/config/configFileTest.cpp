#include <gtest/gtest.h>

#include <optional>

#include "config/configFile.h"

namespace {

TEST(ConfigFile, NumberTexts) {
    const std::optional<int64_t> no, hi = 0xFFFFFFFF, lo = -2147483648ll;
    const std::pair<const char*, std::optional<int64_t>> ints[] = {
        {"-1", -1},          {" +5 ", 5},         {"0x1F40", 8000}, {"0xFFFFFFFF", hi}, {"2147483648", no},
        {"-2147483648", lo}, {"0x100000000", no}, {"12a", no},      {"1.5", no},        {"", no},
        {"0x", no},          {"--1", no},
    };
    for (const auto& [text, value] : ints) EXPECT_EQ(ParseIniInteger(text), value) << '"' << text << '"';
    const std::optional<double> none;
    const std::pair<const char*, std::optional<double>> fractions[] = {
        {"0,5", 0.5},    {"-2.5", -2.5}, {"+2,5", 2.5}, {"1,5E3", 1500.0}, {".5", 0.5},    {"1.2.3", none},
        {"1,2.3", none}, {"nan", none},  {"inf", none}, {"1e39", none},    {"0x10", none}, {"+-1", none},
    };
    for (const auto& [text, value] : fractions)
        EXPECT_EQ(ParseIniFraction(text), value) << '"' << text << '"';
}

TEST(ConfigFile, LoadCutsToWidthAndKeepsWhatIsMissingOrNotANumber) {
    const std::string text =
        "[config]\nmusicDivide=4\nTiming=255\nFreq_PWM=70000\nLimit_Temp=-100\nversion=0x0102\n"
        "SCALE_current=0,25\npoles=many\nScale_Voltmeter=1e300\nmax_PWM=\nNumber=9\nSignature=XXXX\n";
    CSimpleIniA ini;
    ASSERT_GE(ini.LoadData(text.data(), text.size()), 0);
    ConfigRecord r = ConfigRecord::Defaults(2);
    r.poles = 14, r.Scale_Voltmeter = 0.75f, r.musicDivide = 1,
    r.neutral3D = 7;  // older files lack neutral3D
    LoadRecord(ini, "Config", r);
    EXPECT_EQ(std::make_tuple(r.musicDivide, r.Timing, r.Freq_PWM, r.Limit_Temp, r.Version, r.Scale_Current),
              std::make_tuple(uint8_t(0), int8_t(-1), uint16_t(70000 - 65536), int16_t(-100),
                              uint16_t(0x0102), 0.25f));
    EXPECT_EQ(std::make_tuple(r.poles, r.Scale_Voltmeter, r.max_PWM, r.Number, r.IsValid(), r.neutral3D),
              std::make_tuple(uint8_t(14), 0.75f, uint16_t(950), uint8_t(2), true, uint8_t(7)));
}

}  // namespace
