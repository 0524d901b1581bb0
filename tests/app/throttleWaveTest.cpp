// The throttle of each test-control tick: plain value, the three variations and the limits.
#include <gtest/gtest.h>

#include <vector>

#include "app/throttleWave.h"

namespace {

TThrottleInput Dynamic(double throttle, double amplitude, TWaveType type, uint16_t minPwm = 40,
                       uint16_t maxPwm = 950) {
    TThrottleInput in;
    in.Throttle = throttle;
    in.Dynamic = true;
    in.Amplitude = amplitude;
    in.Type = type;
    in.Limits = {minPwm, maxPwm};
    return in;
}

std::vector<int> Ticks(TThrottleWave& wave, const TThrottleInput& in, int ticks) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) values.push_back(wave.Next(in));
    return values;
}

}  // namespace

TEST(ThrottleWave, PlainThrottleIgnoresLimitsAndVariation) {
    struct Case {
        double throttle;
        uint16_t minPwm, maxPwm;
        int expected;
    };
    const Case cases[] = {
        {12.5, 40, 950, 125},                                           // 12.5 % is 125 tenths
        {2.0, 40, 950, 20},                                             // below the minimum: sent as it is
        {99.0, 40, 950, 990},                                           // above the maximum: sent as it is
        {0.0, 40, 950, 0},    {100.0, 0, 0, 1000}, {0.05, 0, 1000, 0},  // 0.5 tenths rounds half to even: 0
        {0.15, 0, 1000, 2},                                             // 1.5 tenths rounds half to even: 2
    };
    for (const Case& c : cases) {
        TThrottleWave wave;
        TThrottleInput in;
        in.Throttle = c.throttle;
        in.Amplitude = 50;
        in.Limits = {c.minPwm, c.maxPwm};
        for (int type = 0; type < 3; ++type) {
            in.Type = TWaveType(type);
            EXPECT_EQ(Ticks(wave, in, 3), std::vector<int>(3, c.expected)) << c.throttle << " type " << type;
        }
        // No state moves while the variation is off.
        EXPECT_FALSE(wave.SwitchPhase);
        EXPECT_EQ(wave.LinearPosition, 0);
        EXPECT_EQ(wave.Seed, 0u);
    }
}

TEST(ThrottleWave, SwitchAlternatesFromMinusHalfAmplitude) {
    TThrottleWave wave;
    EXPECT_EQ(Ticks(wave, Dynamic(50, 10, TWaveType::Switch), 5),
              (std::vector<int>{450, 550, 450, 550, 450}));
    // An odd amplitude in tenths truncates its half toward zero: 10.5 % -> 105 -> offsets -52, +52.
    TThrottleWave odd;
    EXPECT_EQ(Ticks(odd, Dynamic(50, 10.5, TWaveType::Switch), 2), (std::vector<int>{448, 552}));
}

TEST(ThrottleWave, LinearRunsATriangleOfPositionsAndHalvedOffsets) {
    TThrottleWave wave;
    const TThrottleInput in = Dynamic(50, 1, TWaveType::Linear, 0, 1000);  // amplitude 10 tenths
    std::vector<int> positions, offsets;
    for (int i = 0; i < 42; ++i) {
        offsets.push_back(wave.Next(in) - 500);
        positions.push_back(wave.LinearPosition);
    }
    std::vector<int> expectedPositions;
    for (int p = 1; p <= 10; ++p) expectedPositions.push_back(p);
    for (int p = 9; p >= -10; --p) expectedPositions.push_back(p);
    for (int p = -9; p <= 10; ++p) expectedPositions.push_back(p);
    expectedPositions.resize(42);
    EXPECT_EQ(positions, expectedPositions);
    std::vector<int> expectedOffsets;
    for (int p : expectedPositions) expectedOffsets.push_back(p / 2);  // truncation toward zero
    EXPECT_EQ(offsets, expectedOffsets);
    EXPECT_EQ(std::vector<int>(offsets.begin(), offsets.begin() + 12),
              (std::vector<int>{0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 4, 4}));
    // Negative side: -1 div 2 is 0, -3 div 2 is -1.
    EXPECT_EQ(offsets[20], 0);   // position -1
    EXPECT_EQ(offsets[22], -1);  // position -3
}

TEST(ThrottleWave, LimitsOfTheRecordInUse) {
    struct Case {
        double throttle, amplitude;
        uint16_t minPwm, maxPwm;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {5, 10, 40, 950, {0, 100}},       // 50 - 50 = 0 < 40 -> 0; 50 + 50 = 100
        {6, 10, 40, 950, {0, 110}},       // 10 < 40 -> 0 (not the minimum)
        {9, 10, 40, 950, {40, 140}},      // exactly the minimum stays
        {94, 10, 40, 950, {890, 950}},    // 990 > 950 -> 950
        {100, 100, 40, 950, {500, 950}},  // 1000 - 500, 1000 + 500 -> 950
        {0, 100, 0, 1000, {0, 500}},      // negative sum with a zero minimum -> 0
        {50, 10, 600, 400, {0, 0}},       // a minimum above the maximum: 0 wins first, then max
    };
    for (const Case& c : cases) {
        TThrottleWave wave;
        EXPECT_EQ(Ticks(wave, Dynamic(c.throttle, c.amplitude, TWaveType::Switch, c.minPwm, c.maxPwm), 2),
                  c.expected)
            << c.throttle << "/" << c.amplitude << " within " << c.minPwm << ".." << c.maxPwm;
    }
}

TEST(ThrottleWave, RandomFollowsTheGeneratorFromSeedZero) {
    TThrottleWave generator;
    const uint32_t seeds[] = {1u, 134775814u, 3698175007u, 870078620u, 1172187917u, 2884733762u};
    for (uint32_t seed : seeds) {
        EXPECT_DOUBLE_EQ(generator.NextRandom(), seed / 4294967296.0);
        EXPECT_EQ(generator.Seed, seed);
    }
    TThrottleWave wave;
    EXPECT_EQ(Ticks(wave, Dynamic(50, 10, TWaveType::Random), 8),
              (std::vector<int>{450, 453, 536, 470, 477, 517, 482, 466}));
}

TEST(ThrottleWave, TypeChangeRestartsLinearButKeepsSwitchPhase) {
    TThrottleWave wave;
    TThrottleInput in = Dynamic(50, 10, TWaveType::Switch, 0, 1000);
    EXPECT_EQ(wave.Next(in), 450);  // phase now true
    in.Type = TWaveType::Linear;
    Ticks(wave, in, 7);
    EXPECT_EQ(wave.LinearPosition, 7);
    wave.ResetLinear();
    EXPECT_EQ(wave.LinearPosition, 0);
    EXPECT_EQ(wave.LinearStep, 1);
    EXPECT_EQ(wave.Next(in), 500);  // position 1, offset 0
    in.Type = TWaveType::Switch;
    wave.ResetLinear();
    EXPECT_EQ(wave.Next(in), 550);  // continues from the phase left by the first tick
}
