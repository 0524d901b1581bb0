// The program's command-line options. Parsed before the window system is needed, so that --help,
// --version and a bad option are answered on a machine without a display.
#pragma once

#include <QString>
#include <QStringList>

struct TCommandLine {
    QString Port;          // --port NAME: the port to select in the list, added when the list lacks it
    bool Connect = false;  // --connect: connect once the window is up

    // Set when the program is to print Output (to stdout) or Error (to stderr) and end with ExitCode
    // instead of opening its window.
    bool Exit = false;
    int ExitCode = 0;
    QString Output;
    QString Error;
};

// The program's version, as the project states it.
QString VekVersion();

// `arguments` as the program got them, the program's path first.
TCommandLine ParseCommandLine(const QStringList& arguments);
