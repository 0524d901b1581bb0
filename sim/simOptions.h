// Command-line options of vek-sim.
#pragma once

#include <string>
#include <vector>

#include "sim/simController.h"

namespace sim {

struct TLineOptions {
    int Baud = 0;              // 0 = no pacing
    double Drop = 0;           // fraction of outgoing packets dropped
    double Corrupt = 0;        // fraction of outgoing packets damaged
    int ReplyDelayMs = 0;      // every outgoing packet leaves this much later
    long SilentAfter = -1;     // stop answering after this many incoming packets, -1 = never
    double UnplugAfterS = -1;  // close the pseudo-terminal after this many seconds, < 0 = never
    bool Trace = false;
    unsigned Seed = 1;
    std::string DumpFirmware;  // each completed image is written here
};

struct TSimOptions {
    TSimSettings Settings;
    TLineOptions Line;
    bool Help = false;
};

// Parses argv; on a bad option returns false with a message in error.
bool ParseSimOptions(const std::vector<std::string>& args, TSimOptions& options, std::string& error);
const char* SimUsage();

}  // namespace sim
