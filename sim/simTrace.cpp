#include "sim/simTrace.h"

#include <time.h>

#include "link/zuq.h"

namespace sim {

int64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

std::string TraceLine(int64_t us, const char* direction, uint8_t channel, const uint8_t* payload,
                      size_t length, const char* extra) {
    const bool out = direction[0] == 'o';
    const char* name = length > 0 ? zuq::CommandName(payload[0], out) : "?";
    char head[128];
    std::snprintf(head, sizeof head, "%lld %-3s %s ch=%02x len=%zu", static_cast<long long>(us), direction,
                  name, channel, length);
    std::string line = head;
    for (size_t i = 0; i < length; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", payload[i]);
        line += hex;
    }
    if (extra != nullptr) {
        line += ' ';
        line += extra;
    }
    line += '\n';
    return line;
}

std::string NoteLine(int64_t us, const std::string& text) {
    return std::to_string(us) + " note " + text + "\n";
}

}  // namespace sim
