// A controller's end on a pseudo-terminal, listed among the simulator ports under `name`, so that the
// program's port list offers it like a running vek-sim.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <string>

#include "link/simPortFolder.h"
#include "support/ptyPeer.h"

struct TListedPeer {
    explicit TListedPeer(const QString& name = QStringLiteral("simT"))
        : Link(QDir(QString::fromStdString(SimPortFolder())).filePath(name)) {
        QDir().mkpath(QString::fromStdString(SimPortFolder()));
        QFile::remove(Link);
        QFile::link(QString::fromStdString(Peer.SlaveName()), Link);
    }
    ~TListedPeer() { QFile::remove(Link); }
    std::string Path() const { return Link.toStdString(); }
    TPtyPeer Peer;
    QString Link;
};
