// The FET test's interlock and its request bytes.
#include <gtest/gtest.h>

#include <iterator>
#include <set>
#include <tuple>
#include <utility>

#include "fettest/fetPattern.h"

namespace {
constexpr int O = FetOff, N = FetOn, P = FetPwm;

// "NOP..." -> states, A high first: N = ON, P = PWM, anything else OFF.
TFetStates States(const char* text) {
    TFetStates s{};
    for (size_t i = 0; i < s.size(); ++i) s[i] = text[i] == 'N' ? N : text[i] == 'P' ? P : O;
    return s;
}
}  // namespace

// Per switch, the states after the operator sets it ON with all others ON, ON with all others at PWM,
// and PWM with all others ON; set OFF, it changes nothing else.
TEST(FetPattern, InterlockTable) {
    const std::tuple<int, const char*, const char*, const char*> cases[] = {
        {AHigh, "NOOOOO", "NOOOPP", "POOONN"}, {BHigh, "ONOOOO", "ONOPOP", "OPONON"},
        {CHigh, "OONOOO", "OONPPO", "OOPNNO"}, {ALow, "OOONOO", "OPPNOO", "ONNPOO"},
        {BLow, "OOOONO", "POPONO", "NONOPO"},  {CLow, "OOOOON", "PPOOON", "NNOOOP"}};
    const std::pair<const char*, int> moves[] = {
        {"NNNNNN", N}, {"PPPPPP", N}, {"NNNNNN", P}, {"NNNNNN", O}, {"PPPPPP", O}};
    for (const auto& [sender, onFromOn, onFromPwm, pwmFromOn] : cases) {
        const char* after[] = {onFromOn, onFromPwm, pwmFromOn};
        for (size_t m = 0; m < std::size(moves); ++m) {
            TFetStates states = States(moves[m].first);
            states[size_t(sender)] = moves[m].second;
            const TFetStates expected = m < 3 ? States(after[m]) : states;  // OFF: nothing else changes
            ApplyFetInterlock(states, sender);
            EXPECT_EQ(states, expected)
                << moves[m].first << " switch " << sender << " to " << moves[m].second;
        }
    }
}

// Whatever the operator picks, in any order, never both switches of one phase are active, and at most
// one switch per side is.
TEST(FetPattern, NoSequenceOfChoicesActivatesBothSwitchesOfAPhase) {
    std::set<TFetStates> seen{TFetStates{}};
    for (std::vector<TFetStates> todo{TFetStates{}}; !todo.empty();) {
        const TFetStates from = todo.back();
        todo.pop_back();
        for (int pick = 0; pick < 18; ++pick) {  // switch pick / 3 to state pick % 3
            TFetStates s = from;
            s[size_t(pick / 3)] = pick % 3;
            ApplyFetInterlock(s, pick / 3);
            if (!seen.insert(s).second) continue;
            todo.push_back(s);
            int high = 0, low = 0;
            for (size_t i = 0; i < 3; ++i) {
                ASSERT_FALSE(s[i] != O && s[i + 3] != O) << std::hex << FetPatternWord(s);
                high += s[i] != O, low += s[i + 3] != O;
            }
            ASSERT_TRUE(high <= 1 && low <= 1) << std::hex << FetPatternWord(s);
        }
    }
    EXPECT_GT(seen.size(), 30u);
}

TEST(FetPattern, RequestBytes) {
    const std::tuple<const char*, double, int, std::array<uint8_t, 6>> cases[] = {
        {"NOOOPO", 12.5, 500, {0x08, 0x04, 0x7D, 0x00, 0xF4, 0x01}},
        {"NPNPNP", 100, 10000, {0x66, 0x06, 0xE8, 0x03, 0x10, 0x27}},  // every switch in its two bits
        {"OOOOOO", 0.25, 0, {0x00, 0x00, 0x02, 0x00, 0x00, 0x00}},     // 2.5 tenths: halves to even
        {"OOOOOO", 0.35, 1, {0x00, 0x00, 0x04, 0x00, 0x01, 0x00}}};
    for (const auto& [states, duty, delay, bytes] : cases)
        EXPECT_EQ(BuildFetRequest(States(states), duty, delay), bytes) << states;
}
