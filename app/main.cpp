// The program entry: one window, the event loop until it closes.
#include <QApplication>
#include <QScreen>

#include "app/mainQox.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vektool"));
    TFormMainQox window;
    // Without a window manager (a bare X server, a kiosk) maximizing does nothing: fill the screen anyway.
    window.setGeometry(window.screen()->availableGeometry());
    window.showMaximized();
    return app.exec();
}
