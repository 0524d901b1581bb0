// The throttle of one test-control tick: the slider's value with an optional square, random or
// triangle variation, kept within the minimum and maximum throttle of the record in use.
#pragma once

#include <cstdint>

// Index of the " Type " radio group.
enum class TWaveType : int { Switch = 0, Random = 1, Linear = 2 };

// Minimum and maximum throttle of the configuration record in use, in tenths of a percent.
struct TThrottleLimits {
    uint16_t MinPWM = 40;  // the defaults of a record
    uint16_t MaxPWM = 950;
};

// What one tick reads from the controls.
struct TThrottleInput {
    double Throttle = 0;   // throttle edit, percent
    bool Dynamic = false;  // "Dinamic (%):" checked
    double Amplitude = 0;  // amplitude edit, percent
    TWaveType Type = TWaveType::Switch;
    TThrottleLimits Limits;
};

// Keeps the variations' state between ticks: the Switch phase, the Linear position and step, and the
// seed of the random generator. The defaults are those of a freshly started program.
class TThrottleWave {
public:
    // Computes the value of the next Throttle command (tenths of a percent) and advances the state.
    uint16_t Next(const TThrottleInput& input);

    // A change of the " Type " restarts the triangle; the Switch phase and the seed stay as they are.
    void ResetLinear();

    // The generator: Seed := Seed * 134775813 + 1 (mod 2^32), returns Seed / 2^32, in [0, 1).
    double NextRandom();

    bool SwitchPhase = false;
    int32_t LinearPosition = 0;
    int32_t LinearStep = 1;
    uint32_t Seed = 0;
};

// Percent to tenths of a percent, halves to even.
int32_t PercentToTenths(double percent);
