// vekctl: the command line over the program's protocol units, for scripts, benches and production
// lines. QtCore only: no display is needed.
#include <QCoreApplication>
#include <cstdio>

#include "cli/cliOptions.h"
#include "cli/cliRunner.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vekctl"));
    QCoreApplication::setApplicationVersion(VekctlVersion());
    const TCliOptions options = ParseCliOptions(QCoreApplication::arguments());
    if (options.Exit) {
        std::fputs(options.OutputText.toLocal8Bit().constData(), stdout);
        std::fputs(options.ErrorText.toLocal8Bit().constData(), stderr);
        return options.ExitStatus;
    }
    TCliRunner runner(options);
    return runner.Run();
}
