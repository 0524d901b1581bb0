#include <gtest/gtest.h>

#include "config/configRecord.h"

namespace {

TEST(ConfigRecord, EveryFieldAtItsOffsetLittleEndian) {
    ConfigRecord r;
    r.Version = 0x0102, r.Number = 16, r.Flags = 0x0FF0, r.Scale_Current = -2.5f, r.Scale_Voltmeter = 0.1f;
    r.Timing = 30, r.Freq_PWM = 40000, r.Max_Current = 0x1234, r.Limit_Current = 0xABCD, r.Limit_Temp = -100;
    r.min_PWM = 1, r.max_PWM = 2, r.start_PWM = 3, r.accel_PWM = 4, r.safe_PWM = 5, r.off_Bat = 6;
    r.poles = 7, r.baseAddr = 8, r.musicIx = 9, r.musicVolume = 10, r.musicTempo = 11, r.PWMFilter = 12,
    r.SlowStart = 13;
    r.musicDivide = 3, r.deAccel = -100, r.map = 14, r.asyncLevel = 15, r.asyncLevel2 = 16, r.neutral3D = 17;
    const TConfigBytes expected = {
        'Q', 'E',  'Z',  'O',  0x02, 0x01, 16,   0xF0, 0x0F, 0x00, 0x00, 0x20, 0xC0, 0xCD, 0xCC, 0xCC, 0x3D,
        30,  0x40, 0x9C, 0x34, 0x12, 0xCD, 0xAB, 0x9C, 0xFF, 1,    0,    2,    0,    3,    0,    4,    0,
        5,   0,    6,    0,    7,    8,    9,    10,   11,   12,   13,   3,    0x9C, 14,   15,   16,   17,
    };
    EXPECT_EQ(r.ToBytes(), expected);
    EXPECT_EQ(ConfigRecord::FromBytes(expected.data(), expected.size()), r);

    // Missing bytes read as zero; bytes past the record are not read.
    uint8_t longer[60];
    std::fill(std::copy(expected.begin(), expected.end(), longer), longer + 60, 0xEE);
    EXPECT_EQ(ConfigRecord::FromBytes(longer, sizeof longer), r);
    TConfigBytes head{};
    std::copy(expected.begin(), expected.begin() + 20, head.begin());
    EXPECT_EQ(ConfigRecord::FromBytes(expected.data(), 20).ToBytes(), head);
}

}  // namespace
