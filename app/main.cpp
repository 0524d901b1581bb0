// The program entry: one window, the event loop until it closes.
#include <QApplication>

#include "app/mainQox.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("vektool"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vek Tool"));
    TFormMainQox window;
    window.showMaximized();
    return app.exec();
}
