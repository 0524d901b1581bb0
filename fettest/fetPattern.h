// The switch pattern of the FET test: the interlock that keeps the two switches of one phase from
// being active together, and the FetTest request built from the six switch states.
#pragma once

#include <array>
#include <cstdint>

// State code of one switch, also its index in the switch lists.
enum TFetState : int { FetOff = 0, FetOn = 1, FetPwm = 2 };

// Index of the six switches: high side A, B, C, then low side A, B, C (the order of ComboBox1..6).
enum TFetSwitch : int { AHigh = 0, BHigh, CHigh, ALow, BLow, CLow };

using TFetStates = std::array<int, 6>;

// Applies the interlock after the operator set `sender` to its new state in `states`:
// an active switch turns off the other switches of its side and the opposite switch of its phase,
// and a switch turned ON also turns off every switch at ON on the opposite side (PWM ones stay).
void ApplyFetInterlock(TFetStates& states, int sender);

// Two bits per switch: A high at bits 11..10 down to C low at bits 1..0.
uint16_t FetPatternWord(const TFetStates& states);

// The six data bytes of FetTest: pattern, duty in tenths of a percent, delay in ms, each
// little-endian. Duty is the percentage times ten, halves to even.
std::array<uint8_t, 6> BuildFetRequest(const TFetStates& states, double dutyPercent, int32_t delayMs);
