#include "sim/simMotor.h"

#include <algorithm>
#include <cmath>

namespace sim {

namespace {
constexpr double SpeedTau = 0.25;     // s, spin-up lag
constexpr double SteadyAmps = 35.0;   // A at full throttle, rising with the square of the throttle
constexpr double AccelAmps = 0.0005;  // A per rpm/s of acceleration
constexpr double SagOhm = 0.06;       // battery and wiring resistance
constexpr double HeatPerA2 = 0.08;    // degree C above ambient per A squared, steady state
constexpr double TempTau = 30.0;      // s
constexpr double McuHeatPerA2 = 0.02;
constexpr double McuTau = 60.0;
constexpr double AvgTau = 1.0;
constexpr int64_t StepUs = 10'000;
}  // namespace

TSimMotor::TSimMotor() = default;

void TSimMotor::SetThrottle(uint16_t tenths, int64_t nowUs) {
    command_ = tenths;
    lastThrottleUs_ = nowUs;
}

void TSimMotor::PlayMelody(int64_t nowUs) {
    soundUntil_ = nowUs + MelodyUs;
}

bool TSimMotor::ShortsAPhase(uint16_t pattern) {
    for (int phase = 0; phase < 3; ++phase) {
        const int high = (pattern >> (10 - 2 * phase)) & 3;
        const int low = (pattern >> (4 - 2 * phase)) & 3;
        if (high != 0 && low != 0) return true;
    }
    return false;
}

void TSimMotor::FetTest(uint16_t pattern, uint16_t duty, uint16_t delayMs, int64_t nowUs) {
    const int64_t span = int64_t(delayMs) * 1000;
    if (ShortsAPhase(pattern)) {
        // Hold the flag at least a second so that a one-per-second status poll sees it.
        shortUntil_ = nowUs + std::max<int64_t>(span, 1'000'000);
        testUntil_ = 0;
        return;
    }
    shortUntil_ = 0;
    testUntil_ = nowUs + span;
    testDuty_ = std::min<uint16_t>(duty, 1000);
}

void TSimMotor::Advance(int64_t nowUs, const TConfigBytes& record) {
    if (lastUs_ < 0 || nowUs < lastUs_) lastUs_ = nowUs;
    if (lastUs_ == nowUs) Step(0, nowUs, record);  // no time passed, but limits and commands apply
    while (lastUs_ < nowUs) {
        const int64_t step = std::min(StepUs, nowUs - lastUs_);
        lastUs_ += step;
        Step(double(step) * 1e-6, lastUs_, record);
    }
    now_ = nowUs;
}

void TSimMotor::Step(double dt, int64_t nowUs, const TConfigBytes& record) {
    poles_ = std::max<uint8_t>(record[Rec::Poles], 2);
    const uint16_t minPwm = U16(&record[Rec::MinPwm]);
    const uint16_t maxPwm = std::min<uint16_t>(U16(&record[Rec::MaxPwm]), 1000);
    const double maxAmps = U16(&record[Rec::MaxCurrent]) * 0.1;
    const double limitTemp = S16(&record[Rec::LimitTemp]) * 0.1;

    if (nowUs - lastThrottleUs_ > ThrottleTimeoutUs) command_ = 0;
    uint16_t level = command_ < minPwm ? 0 : std::min(command_, maxPwm);
    if (nowUs < testUntil_ || nowUs < shortUntil_) level = 0;  // the bridge belongs to the FET test
    level_ = level;

    const double target = MaxRpm * level / 1000.0;
    if (target > 0 && speed_ < 1.0) starting_ = true;
    const double before = speed_;
    speed_ += (target - speed_) * std::min(1.0, dt / SpeedTau);
    if (target == 0 && speed_ < 10.0) speed_ = 0;
    if (target == 0 || speed_ >= 0.9 * target) starting_ = false;
    const double accel = dt > 0 ? (speed_ - before) / dt : 0;

    const double t = level / 1000.0;
    double amps = SteadyAmps * t * t + AccelAmps * std::max(0.0, accel);
    if (nowUs < testUntil_) amps = 2.0 * testDuty_ / 1000.0;  // a switched phase draws a little
    overload_ = maxAmps > 0 && amps > maxAmps;
    if (overload_) amps = maxAmps;  // the controller limits the current
    current_ = amps;
    avgCurrent_ += (current_ - avgCurrent_) * std::min(1.0, dt / AvgTau);
    voltage_ = BatteryV - SagOhm * current_;
    temp_ += (AmbientC + HeatPerA2 * current_ * current_ - temp_) * std::min(1.0, dt / TempTau);
    tempMcu_ += (AmbientC + 5 + McuHeatPerA2 * current_ * current_ - tempMcu_) * std::min(1.0, dt / McuTau);
    overheat_ = temp_ > limitTemp;
}

TStatusRecord TSimMotor::Telemetry() const {
    TStatusRecord s;
    s.Current = int16_t(std::lrint(current_ * 10));
    s.AvgCurrent = int16_t(std::lrint(avgCurrent_ * 10));
    s.Voltage = uint16_t(std::lrint(std::max(0.0, voltage_) * 10));
    s.Temperature = int16_t(std::lrint(temp_ * 10));
    s.TempMcu = int16_t(std::lrint(tempMcu_ * 10));
    s.ThrottleLevel = level_;
    s.AvgSpeed = uint16_t(std::lrint(std::min(speed_, 65535.0)));
    if (speed_ >= 1.0) {
        // Half a commutation step: six steps per electrical turn, poles/2 electrical turns per turn.
        const double step = 60e6 / (speed_ * (poles_ / 2.0) * 6.0);
        s.TimingDelay = uint16_t(std::lrint(std::min(step / 2.0, 65535.0)));
    }
    s.InputPc = command_;
    uint8_t f = 0;
    if (speed_ < 1.0) f |= StatusFlag::Stopped;
    if (starting_) f |= StatusFlag::Starting;
    if (overheat_) f |= StatusFlag::Overheat;
    if (overload_) f |= StatusFlag::Overload;
    if (now_ < testUntil_) f |= StatusFlag::Test;
    if (now_ < shortUntil_) f |= StatusFlag::ShortCircuit;
    if (now_ < soundUntil_) f |= StatusFlag::Sound;
    s.Flags = f;
    return s;
}

}  // namespace sim
