// The FET test's interlock and its request bytes.
#include <gtest/gtest.h>

#include "fettest/fetPattern.h"

namespace {
constexpr int O = FetOff, N = FetOn, P = FetPwm;
}

// Each row: the states before, the switch the operator sets and to what, the states after.
TEST(FetPattern, InterlockTable) {
    struct Case {
        const char* name;
        TFetStates before;
        int sender;
        int state;
        TFetStates after;
    };
    const TFetStates allOn{N, N, N, N, N, N};
    const TFetStates allPwm{P, P, P, P, P, P};
    const Case cases[] = {
        // Sender ON: its side off, its phase's opposite off, ON switches of the opposite side off.
        {"A high ON", allOn, AHigh, N, {N, O, O, O, O, O}},
        {"B high ON", allOn, BHigh, N, {O, N, O, O, O, O}},
        {"C high ON", allOn, CHigh, N, {O, O, N, O, O, O}},
        {"A low ON", allOn, ALow, N, {O, O, O, N, O, O}},
        {"B low ON", allOn, BLow, N, {O, O, O, O, N, O}},
        {"C low ON", allOn, CLow, N, {O, O, O, O, O, N}},
        // Sender ON with the opposite side at PWM: only the same phase is cleared there.
        {"A high ON, lows PWM", allPwm, AHigh, N, {N, O, O, O, P, P}},
        {"B high ON, lows PWM", allPwm, BHigh, N, {O, N, O, P, O, P}},
        {"C high ON, lows PWM", allPwm, CHigh, N, {O, O, N, P, P, O}},
        {"A low ON, highs PWM", allPwm, ALow, N, {O, P, P, N, O, O}},
        {"B low ON, highs PWM", allPwm, BLow, N, {P, O, P, O, N, O}},
        {"C low ON, highs PWM", allPwm, CLow, N, {P, P, O, O, O, N}},
        // Sender PWM: ON switches of the opposite side stay unless in the same phase.
        {"A high PWM", allOn, AHigh, P, {P, O, O, O, N, N}},
        {"B high PWM", allOn, BHigh, P, {O, P, O, N, O, N}},
        {"C high PWM", allOn, CHigh, P, {O, O, P, N, N, O}},
        {"A low PWM", allOn, ALow, P, {O, N, N, P, O, O}},
        {"B low PWM", allOn, BLow, P, {N, O, N, O, P, O}},
        {"C low PWM", allOn, CLow, P, {N, N, O, O, O, P}},
        // Sender OFF: nothing else changes.
        {"A high OFF", allOn, AHigh, O, {O, N, N, N, N, N}},
        {"C low OFF", allPwm, CLow, O, {P, P, P, P, P, O}},
    };
    for (const Case& c : cases) {
        TFetStates states = c.before;
        states[size_t(c.sender)] = c.state;
        ApplyFetInterlock(states, c.sender);
        EXPECT_EQ(states, c.after) << c.name;
    }
}

// Sequences of operator choices from all OFF, and the pattern word they leave.
TEST(FetPattern, OperatorSequencesAndPatternWords) {
    struct Step {
        int sender, state;
    };
    struct Case {
        std::vector<Step> steps;
        uint16_t word;
    };
    const Case cases[] = {
        {{{AHigh, N}, {BLow, P}}, 0x0408},  // a low side at PWM leaves A high ON
        {{{AHigh, N}, {ALow, N}}, 0x0010},  // same phase: A high goes OFF
        {{{AHigh, P}, {BLow, N}}, 0x0804},  // A high stays at PWM
        {{{BHigh, N}, {CLow, N}}, 0x0001},  // a static ON clears the ON of the other side
        {{{CHigh, P}, {ALow, P}}, 0x0080 | 0x0020}, {{}, 0x0000},
    };
    for (const Case& c : cases) {
        TFetStates states{};
        for (const Step& s : c.steps) {
            states[size_t(s.sender)] = s.state;
            ApplyFetInterlock(states, s.sender);
        }
        EXPECT_EQ(FetPatternWord(states), c.word) << std::hex << c.word;
    }
}

// Whatever the operator picks, never both switches of one phase are active, and at most one switch
// per side is active.
TEST(FetPattern, NoSequenceOfChoicesActivatesBothSwitchesOfAPhase) {
    // Every sequence of three choices (18^3) from all OFF.
    for (int a = 0; a < 18 * 18 * 18; ++a) {
        TFetStates states{};
        int code = a;
        for (int k = 0; k < 3; ++k) {
            const int sender = (code % 18) / 3, state = code % 3;
            code /= 18;
            states[size_t(sender)] = state;
            ApplyFetInterlock(states, sender);
            for (int phase = 0; phase < 3; ++phase)
                ASSERT_FALSE(states[size_t(phase)] != O && states[size_t(phase + 3)] != O) << a;
            int highActive = 0, lowActive = 0;
            for (int i = 0; i < 3; ++i) {
                highActive += states[size_t(i)] != O;
                lowActive += states[size_t(i + 3)] != O;
            }
            ASSERT_LE(highActive, 1) << a;
            ASSERT_LE(lowActive, 1) << a;
        }
    }
}

TEST(FetPattern, RequestBytes) {
    struct Case {
        TFetStates states;
        double duty;
        int delay;
        std::array<uint8_t, 6> bytes;
    };
    const Case cases[] = {
        {{N, O, O, O, P, O}, 12.5, 500, {0x08, 0x04, 0x7D, 0x00, 0xF4, 0x01}},
        {{O, O, O, N, O, O}, 100, 10000, {0x10, 0x00, 0xE8, 0x03, 0x10, 0x27}},
        {{O, O, O, O, O, O}, 0.25, 0, {0x00, 0x00, 0x02, 0x00, 0x00, 0x00}},  // 2.5 -> 2 (halves to even)
        {{O, O, O, O, O, O}, 0.35, 0, {0x00, 0x00, 0x04, 0x00, 0x00, 0x00}},  // 3.5 -> 4
        {{P, O, O, O, O, N}, 1, 1, {0x01, 0x08, 0x0A, 0x00, 0x01, 0x00}},
    };
    for (const Case& c : cases) EXPECT_EQ(BuildFetRequest(c.states, c.duty, c.delay), c.bytes) << c.duty;
}
