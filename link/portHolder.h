// Who holds a serial device, as far as the system lets us see: for the message of a busy port.
#pragma once

#include <string>
#include <vector>

struct TPortHolder {
    int Pid = 0;
    std::string Name;  // the process's command name
};

// Processes that have the device open (where their descriptors are readable to us), hold a lock on
// it (flock, listed for every user in /proc/locks) or own its UUCP lock file, by process number.
std::vector<TPortHolder> PortHolders(const std::string& path);

// "held by minicom (pid 4211)"; when nobody is visible, the running ModemManager is named, since it
// opens new serial ports to look for modems; else "another program holds it".
std::string BusyText(const std::string& path);
