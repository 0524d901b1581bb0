// vek-sim: a simulated controller with its bootloader and CAN net on a pseudo-terminal.
#include <cstdio>
#include <string>
#include <vector>

#include "sim/simLine.h"
#include "sim/simOptions.h"

int main(int argc, char** argv) {
    sim::TSimOptions options;
    std::string error;
    if (!sim::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "vek-sim: %s\n%s", error.c_str(), sim::SimUsage());
        return 2;
    }
    if (options.Help) {
        std::fputs(sim::SimUsage(), stdout);
        return 0;
    }
    sim::TSimLine line(options);
    return line.Run();
}
