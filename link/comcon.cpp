#include "link/comcon.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>
#include <cstdint>

#include "link/simPortFolder.h"

QString TPortEntry::ToolTip() const {
    QStringList parts;
    if (!Description.isEmpty()) parts << Description;
    if (!Manufacturer.isEmpty()) parts << Manufacturer;
    return parts.isEmpty() ? QString::fromStdString(Name) : parts.join(QStringLiteral(", "));
}

namespace {
// A simulator links its pseudo-terminal after opening it. A link older than its terminal was left by a
// simulator that was killed, and the terminal's number now belongs to someone else (perhaps an
// interactive shell): opening it would put that terminal in raw mode and write packets into it.
bool LinkNewerThanTarget(const QString& link) {
    struct stat own {};
    struct stat target {};
    const QByteArray path = QFile::encodeName(link);
    if (::lstat(path.constData(), &own) != 0 || ::stat(path.constData(), &target) != 0) return false;
    const auto nanos = [](const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return nanos(own.st_mtim) >= nanos(target.st_ctim);
}
}  // namespace

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
            if (!LinkNewerThanTarget(link.absoluteFilePath())) continue;
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
