#include "app/throttleWave.h"

#include <cmath>

int32_t PercentToTenths(double percent) {
    return int32_t(std::lrint(percent * 10.0));
}

double TThrottleWave::NextRandom() {
    Seed = Seed * 134775813u + 1u;
    return double(Seed) / 4294967296.0;
}

void TThrottleWave::ResetLinear() {
    LinearStep = 1;
    LinearPosition = 0;
}

uint16_t TThrottleWave::Next(const TThrottleInput& input) {
    const uint16_t base = uint16_t(PercentToTenths(input.Throttle));
    if (!input.Dynamic) return base;

    const int32_t amplitude = PercentToTenths(input.Amplitude);
    int32_t offset = 0;
    switch (input.Type) {
        case TWaveType::Switch:
            SwitchPhase = !SwitchPhase;
            offset = SwitchPhase ? -(amplitude / 2) : amplitude / 2;
            break;
        case TWaveType::Random: {
            const double r = NextRandom();
            offset = int32_t(std::nearbyint(r * amplitude - amplitude / 2.0));
            break;
        }
        case TWaveType::Linear:
            if (LinearPosition >= amplitude) {
                LinearStep = -1;
                LinearPosition = amplitude;
            } else if (LinearPosition <= -amplitude) {
                LinearStep = 1;
                LinearPosition = -amplitude;
            }
            LinearPosition += LinearStep;
            offset = LinearPosition / 2;
            break;
    }

    int32_t value = int32_t(base) + offset;
    // Below the minimum the motor is stopped rather than held at the minimum.
    if (value < int32_t(input.Limits.MinPWM)) value = 0;
    if (value > int32_t(input.Limits.MaxPWM)) value = input.Limits.MaxPWM;
    return uint16_t(value);
}
