// The folder in which running simulators publish their ports as symbolic links simN. The port list of
// the program reads the same folder, so both sides must compute it with this one function.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

inline std::string SimPortFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') return std::string(runtime) + "/vektool/ports";
    return "/tmp/vektool-" + std::to_string(static_cast<unsigned long>(::getuid())) + "/ports";
}
