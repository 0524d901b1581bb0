#include <gtest/gtest.h>

#include <cstring>

#include "config/configRecord.h"

namespace {

// The defaults of slot 5, written out byte by byte from the record's table.
const TConfigBytes DefaultSlot5 = {
    'Q',  'E',  'Z',  'O',                  // Signature
    0x03, 0x00,                             // Version 0.3
    0x05,                                   // Number
    0x01, 0x00,                             // Flags: Enable PWM
    0x00, 0x00, 0x80, 0x3F,                 // Scale_Current 1.0f
    0x00, 0x00, 0x80, 0x3F,                 // Scale_Voltmeter 1.0f
    0xFF,                                   // Timing auto
    0x40, 0x1F,                             // Freq_PWM 8000
    0x2C, 0x01,                             // Max_Current 300
    0x96, 0x00,                             // Limit_Current 150
    0x84, 0x03,                             // Limit_Temp 900
    0x28, 0x00,                             // min_PWM 40
    0xB6, 0x03,                             // max_PWM 950
    0x50, 0x00,                             // start_PWM 80
    0x64, 0x00,                             // accel_PWM 100
    0x96, 0x00,                             // safe_PWM 150
    0x5A, 0x00,                             // off_Bat 90
    12,                                     // poles
    0,    0,    0,    0,    0, 0, 0, 0, 0,  // baseAddr .. map
    40,   40,                               // asyncLevel, asyncLevel2
    0,                                      // neutral3D
};

TEST(ConfigRecord, DefaultsOnTheWire) {
    EXPECT_EQ(ConfigRecord::Defaults(5).ToBytes(), DefaultSlot5);
    EXPECT_EQ(ConfigRecord::FromBytes(DefaultSlot5.data(), DefaultSlot5.size()), ConfigRecord::Defaults(5));
}

TEST(ConfigRecord, EveryFieldAtItsOffsetLittleEndian) {
    ConfigRecord r;
    r.Version = 0x0102;
    r.Number = 16;
    r.Flags = 0x0FF0;
    r.Scale_Current = -2.5f;   // 0xC0200000
    r.Scale_Voltmeter = 0.1f;  // 0x3DCCCCCD
    r.Timing = 30;
    r.Freq_PWM = 40000;
    r.Max_Current = 0x1234;
    r.Limit_Current = 0xABCD;
    r.Limit_Temp = -100;
    r.min_PWM = 1;
    r.max_PWM = 2;
    r.start_PWM = 3;
    r.accel_PWM = 4;
    r.safe_PWM = 5;
    r.off_Bat = 6;
    r.poles = 7;
    r.baseAddr = 8;
    r.musicIx = 9;
    r.musicVolume = 10;
    r.musicTempo = 11;
    r.PWMFilter = 12;
    r.SlowStart = 13;
    r.musicDivide = 3;
    r.deAccel = -100;
    r.map = 14;
    r.asyncLevel = 15;
    r.asyncLevel2 = 16;
    r.neutral3D = 17;
    const TConfigBytes b = r.ToBytes();
    const TConfigBytes expected = {
        'Q', 'E',  'Z',  'O',  0x02, 0x01, 16,   0xF0, 0x0F, 0x00, 0x00, 0x20, 0xC0, 0xCD, 0xCC, 0xCC, 0x3D,
        30,  0x40, 0x9C, 0x34, 0x12, 0xCD, 0xAB, 0x9C, 0xFF, 1,    0,    2,    0,    3,    0,    4,    0,
        5,   0,    6,    0,    7,    8,    9,    10,   11,   12,   13,   3,    0x9C, 14,   15,   16,   17,
    };
    EXPECT_EQ(b, expected);
    const ConfigRecord back = ConfigRecord::FromBytes(b.data(), b.size());
    EXPECT_EQ(back, r);
    EXPECT_EQ(back.Limit_Temp, -100);
    EXPECT_EQ(back.deAccel, -100);
    EXPECT_FLOAT_EQ(back.Scale_Current, -2.5f);
}

TEST(ConfigRecord, ShortAndLongInput) {
    // 20 argument bytes: the rest reads as zero, nothing is read past the input.
    const TConfigBytes full = ConfigRecord::Defaults(4).ToBytes();
    const ConfigRecord shortRecord = ConfigRecord::FromBytes(full.data(), 20);
    const TConfigBytes b = shortRecord.ToBytes();
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 20, full.begin()));
    for (size_t i = 20; i < b.size(); ++i) EXPECT_EQ(b[i], 0) << "byte " << i;
    EXPECT_TRUE(shortRecord.IsValid());

    uint8_t longer[60];
    std::memcpy(longer, full.data(), full.size());
    std::memset(longer + 51, 0xEE, 9);
    EXPECT_EQ(ConfigRecord::FromBytes(longer, sizeof longer), ConfigRecord::Defaults(4));
    EXPECT_EQ(ConfigRecord::FromBytes(nullptr, 0).ToBytes(), TConfigBytes{});
}

TEST(ConfigRecord, Validity) {
    struct Case {
        const char* name;
        int signatureByte;  // index to spoil, -1 none
        uint8_t number;
        bool valid;
    };
    const Case cases[] = {
        {"slot 0", -1, 0, true},        {"slot 16", -1, 16, true},   {"number 17", -1, 17, false},
        {"number 255", -1, 255, false}, {"first byte", 0, 3, false}, {"fourth byte", 3, 3, false},
    };
    for (const Case& c : cases) {
        ConfigRecord r = ConfigRecord::Defaults(0);
        r.Number = c.number;
        if (c.signatureByte >= 0) r.Signature[c.signatureByte] = 'x';
        EXPECT_EQ(r.IsValid(), c.valid) << c.name;
    }
    ConfigRecord anyVersion = ConfigRecord::Defaults(1);
    anyVersion.Version = 0xFFFF;
    EXPECT_TRUE(anyVersion.IsValid());
}

}  // namespace
