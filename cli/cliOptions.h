// vekctl's command line: the command, its ports and options, and what --help, --version or a usage
// error answer instead of running it.
#pragma once

#include <QString>
#include <QStringList>

#include "link/serialDevice.h"

// The exit status of vekctl. With several ports: 0 when every port succeeded; otherwise the code the
// failed ports share, or Failed when they failed in different ways.
namespace ExitCode {
constexpr int Ok = 0;
constexpr int Failed = 1;         // the operation failed (transfer, comparison, flash error, lost port, file)
constexpr int Usage = 2;          // the command line is wrong
constexpr int PortNotOpened = 3;  // the port cannot be opened or does not take the line settings
constexpr int NoAnswer = 4;       // no controller (or bootloader, or link) answered
constexpr int Interrupted = 130;  // SIGINT or SIGTERM ended a command that was not finished
}  // namespace ExitCode

enum class TCommand { None, Ports, Identify, Scan, ConfigGet, ConfigPut, Firmware, Status };

struct TCliOptions {
    TCommand Command = TCommand::None;
    QString CommandName;  // "config get", "firmware", ...
    QStringList Ports;    // as given; each runs the command on its own
    int Link = -1;        // --link, -1 for the controller on the line
    bool AllLinks = false;
    int Record = -1;  // --record, -1 for all
    bool Ram = false;
    QString Output;  // config get -o; may hold {port}
    QString File;    // config put FILE, firmware IMAGE
    QString Csv;     // status --csv; may hold {port}
    int Rate = 20;
    double Seconds = 0;  // 0: until interrupted
    TDCB Line;           // 115200 8N1 unless given
    bool Json = false;
    bool Verbose = false;

    // Set when vekctl is to print Output (stdout) or Error (stderr) and end with ExitCode at once.
    bool Exit = false;
    int ExitStatus = 0;
    QString OutputText;
    QString ErrorText;
};

QString VekctlVersion();

// `arguments` as the program got them, the program's path first.
TCliOptions ParseCliOptions(const QStringList& arguments);

// An output path for one port: {port} becomes the port's own name (its last path part).
QString PathForPort(const QString& pattern, const QString& port);
