// Trace lines on standard error: a monotonic time stamp in microseconds, the direction and the
// command, e.g. "123456789 in  Throttle ch=01 len=3 46 7d 00".
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sim {

// Microseconds of the monotonic clock (CLOCK_MONOTONIC, the clock of std::chrono::steady_clock).
int64_t MonotonicUs();

// direction is "in", "out" or "note"; for packets the channel, payload and length follow.
std::string TraceLine(int64_t us, const char* direction, uint8_t channel, const uint8_t* payload,
                      size_t length, const char* extra = nullptr);
std::string NoteLine(int64_t us, const std::string& text);

}  // namespace sim
