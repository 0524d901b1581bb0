#include "fettest/fetPattern.h"

#include <cmath>

#include "link/littleEndian.h"

void ApplyFetInterlock(TFetStates& states, int sender) {
    if (sender < 0 || sender >= 6) return;
    const int state = states[size_t(sender)];
    if (state == FetOff) return;
    const bool high = sender < 3;
    const int phase = sender % 3;
    const int sideBase = high ? 0 : 3;
    const int otherBase = high ? 3 : 0;
    for (int i = 0; i < 3; ++i)
        if (i != phase) states[size_t(sideBase + i)] = FetOff;
    states[size_t(otherBase + phase)] = FetOff;
    if (state == FetOn)
        for (int i = 0; i < 3; ++i)
            if (states[size_t(otherBase + i)] == FetOn) states[size_t(otherBase + i)] = FetOff;
}

uint16_t FetPatternWord(const TFetStates& states) {
    uint16_t word = 0;
    for (int i = 0; i < 6; ++i) word |= uint16_t((states[size_t(i)] & 3) << (10 - 2 * i));
    return word;
}

std::array<uint8_t, 6> BuildFetRequest(const TFetStates& states, double dutyPercent, int32_t delayMs) {
    const uint16_t pattern = FetPatternWord(states);
    const uint16_t duty = uint16_t(std::lrint(dutyPercent * 10.0));
    const uint16_t delay = uint16_t(delayMs);
    std::array<uint8_t, 6> request{};
    le::Put16(request.data(), pattern);
    le::Put16(request.data() + 2, duty);
    le::Put16(request.data() + 4, delay);
    return request;
}
