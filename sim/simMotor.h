// A small motor and power-stage model, so that telemetry and state flags follow the commands the way
// a real controller's would: speed follows throttle with a lag, current rises with load and
// acceleration, the battery sags, temperatures rise with current and relax.
#pragma once

#include <cstdint>

#include "sim/simRecord.h"

namespace sim {

class TSimMotor {
public:
    // A controller stops the motor when the PC has sent no throttle for this long.
    static constexpr int64_t ThrottleTimeoutUs = 300'000;
    static constexpr int64_t MelodyUs = 2'000'000;
    static constexpr double MaxRpm = 12000.0;  // at 100 % throttle
    static constexpr double AmbientC = 25.0;
    static constexpr double BatteryV = 16.8;

    TSimMotor();

    void SetThrottle(uint16_t tenths, int64_t nowUs);
    void PlayMelody(int64_t nowUs);
    // Pattern of six 2-bit switch states (A high at bits 11..10 ... C low at bits 1..0), duty in
    // tenths of a percent, delay in ms. A pattern that turns on both switches of one phase is refused
    // and reported as Short-circuit instead of being applied.
    void FetTest(uint16_t pattern, uint16_t duty, uint16_t delayMs, int64_t nowUs);
    // Moves the model forward to nowUs with the limits of the record in use.
    void Advance(int64_t nowUs, const TConfigBytes& record);

    // Telemetry fields and flags; Mode and Address are the controller's to fill in.
    TStatusRecord Telemetry() const;

    double Speed() const { return speed_; }
    double Current() const { return current_; }
    double Temperature() const { return temp_; }

    // True when the pattern would short a phase (both of its switches not OFF).
    static bool ShortsAPhase(uint16_t pattern);

private:
    void Step(double dt, int64_t nowUs, const TConfigBytes& record);

    int64_t lastUs_ = -1;
    int64_t lastThrottleUs_ = 0;
    uint16_t command_ = 0;  // last throttle from the PC, 0.1 %
    uint16_t level_ = 0;    // throttle in effect after limits and time-out, 0.1 %
    double speed_ = 0;      // rpm
    double current_ = 0;    // A
    double avgCurrent_ = 0;
    double voltage_ = BatteryV;
    double temp_ = AmbientC;
    double tempMcu_ = AmbientC + 5;
    bool starting_ = false;
    bool overload_ = false;
    bool overheat_ = false;
    int64_t soundUntil_ = 0;
    int64_t testUntil_ = 0;
    int64_t shortUntil_ = 0;
    uint16_t testDuty_ = 0;
    uint8_t poles_ = 12;
    int64_t now_ = 0;
};

}  // namespace sim
