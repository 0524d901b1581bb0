// The throttle of each test-control tick: the plain value, the three variations and the record's limits.
// (Linear: a triangle moving a tenth every two ticks, below.)
#include <gtest/gtest.h>

#include <vector>

#include "app/throttleWave.h"

namespace {
TThrottleInput Input(double throttle, double amplitude = 0, TWaveType type = TWaveType::Switch,
                     TThrottleLimits limits = {40, 950}) {
    return {throttle, amplitude > 0, amplitude, type, limits};
}
std::vector<int> Ticks(TThrottleWave& wave, const TThrottleInput& in, int ticks) {
    std::vector<int> values;
    for (int i = 0; i < ticks; ++i) values.push_back(wave.Next(in));
    return values;
}
}  // namespace

TEST(ThrottleWave, SequencesFromAFreshStart) {
    using enum TWaveType;
    const struct {
        const char* what;
        TThrottleInput in;
        std::vector<int> expected;
    } cases[] = {
        {"12.5 % is 125 tenths", Input(12.5), {125, 125}},
        {"plain: no clamping below the minimum", Input(2), {20}},
        {"plain: no clamping above the maximum", Input(99), {990}},
        {"0.5 tenths rounds half to even", Input(0.05), {0}},
        {"1.5 tenths rounds half to even", Input(0.15), {2}},
        {"switch starts at minus half", Input(50, 10, Switch), {450, 550, 450, 550}},
        {"an odd amplitude's half truncates", Input(50, 10.5, Switch), {448, 552}},
        {"below min_PWM sends 0, not the minimum", Input(6, 10, Switch), {0, 110}},
        {"exactly the minimum stays", Input(9, 10, Switch), {40, 140}},
        {"above max_PWM sends max_PWM", Input(94, 10, Switch), {890, 950}},
        {"a negative sum with a zero minimum", Input(0, 100, Switch, {0, 1000}), {0, 500}},
        {"a minimum above the maximum", Input(50, 10, Switch, {600, 400}), {0, 0}},
        // The generator Seed * 134775813 + 1 from 0: 1, 134775814, 3698175007 ...
        {"random from seed 0", Input(50, 10, Random), {450, 453, 536, 470, 477, 517, 482, 466}},
    };
    for (const auto& c : cases) {
        TThrottleWave wave;
        EXPECT_EQ(Ticks(wave, c.in, int(c.expected.size())), c.expected) << c.what;
        if (!c.in.Dynamic) {
            EXPECT_EQ(wave.Seed, 0u) << c.what << ": no state moves while the variation is off";
        }
    }
}

TEST(ThrottleWave, LinearTurnsAtTheAmplitude) {
    TThrottleWave wave;
    const TThrottleInput in = Input(50, 1, TWaveType::Linear, {0, 1000});  // amplitude 10 tenths
    std::vector<int> positions, offsets;
    for (int i = 0; i < 42; ++i) {
        offsets.push_back(wave.Next(in) - 500);
        positions.push_back(wave.LinearPosition);
    }
    std::vector<int> expected;
    for (int p = 1; p <= 10; ++p) expected.push_back(p);
    for (int p = 9; p >= -10; --p) expected.push_back(p);
    for (int p = -9; expected.size() < 42; ++p) expected.push_back(p);
    EXPECT_EQ(positions, expected);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(offsets[i], expected[i] / 2);  // toward zero
}
