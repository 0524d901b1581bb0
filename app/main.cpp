// The program entry: the command line, then one window and the event loop until it closes.
#include <QApplication>
#include <QScreen>
#include <cstdio>

#include "app/commandLine.h"
#include "app/logo.h"
#include "app/mainQox.h"

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("vektool"));
    QCoreApplication::setApplicationVersion(VekVersion());
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const TCommandLine options = ParseCommandLine(arguments);
    if (options.Exit) {
        std::fputs(qPrintable(options.Output), stdout);
        std::fputs(qPrintable(options.Error), stderr);
        return options.ExitCode;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("vektool"));  // the desktop entry's name and icon
    QApplication::setWindowIcon(VekIcon());
    TFormMainQox window;
    // Without a window manager (a bare X server, a kiosk) maximizing does nothing: fill the screen anyway.
    window.setGeometry(window.screen()->availableGeometry());
    window.showMaximized();
    // After the start-up sequence has listed the ports and read the settings file.
    window.ApplyCommandLine(options);
    return app.exec();
}
