// Port discovery: the serial ports the device layer can open, in a stable order.
#pragma once

#include <QString>
#include <string>
#include <vector>

struct TPortEntry {
    std::string Name;      // what the device layer opens: a device path, or a simulator's link
    QString Description;   // the adapter's description, where known
    QString Manufacturer;  // the adapter's manufacturer, where known

    // The list entry's tooltip: description and manufacturer, or the plain name when neither is known.
    QString ToolTip() const;
};

// The real serial devices that the system reports, sorted by path, followed by the symbolic links in
// `simFolder` whose targets exist (simulated controllers), sorted by name.
std::vector<TPortEntry> EnumPorts(const std::string& simFolder);
// Same, with the simulators' own port folder.
std::vector<TPortEntry> EnumPorts();
