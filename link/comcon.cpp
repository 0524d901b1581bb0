#include "link/comcon.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

#include "link/simPortFolder.h"

QString TPortEntry::ToolTip() const {
    QStringList parts;
    if (!Description.isEmpty()) parts << Description;
    if (!Manufacturer.isEmpty()) parts << Manufacturer;
    return parts.isEmpty() ? QString::fromStdString(Name) : parts.join(QStringLiteral(", "));
}

std::vector<TPortEntry> EnumPorts(const std::string& simFolder) {
    std::vector<TPortEntry> real;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString path = info.systemLocation();
        if (path.isEmpty()) continue;
        real.push_back({path.toStdString(), info.description(), info.manufacturer()});
    }
    std::sort(real.begin(), real.end(),
              [](const TPortEntry& a, const TPortEntry& b) { return a.Name < b.Name; });

    std::vector<TPortEntry> simulated;
    if (!simFolder.empty()) {
        const QDir folder(QString::fromStdString(simFolder));
        const QFileInfoList links =
            folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& link : links) {
            // A simulator that ended without tidying up leaves a dangling link: not a port.
            if (!link.isSymLink() || !QFileInfo::exists(link.symLinkTarget())) continue;
            simulated.push_back({link.absoluteFilePath().toStdString(),
                                 QStringLiteral("Simulated controller (vek-sim)"), QString()});
        }
    }
    real.insert(real.end(), simulated.begin(), simulated.end());
    return real;
}

std::vector<TPortEntry> EnumPorts() {
    return EnumPorts(SimPortFolder());
}

void EnumPorts(QComboBox* list) {
    list->clear();
    for (const TPortEntry& port : EnumPorts()) {
        list->addItem(QString::fromStdString(port.Name));
        list->setItemData(list->count() - 1, port.ToolTip(), Qt::ToolTipRole);
    }
}
