#include "app/aboutBox.h"

#include <QFile>
#include <QMessageBox>
#include <QWidget>
#include <QtGlobal>

#include "app/commandLine.h"

void ShowAboutBox(QWidget* parent, const QString& iniPath) {
    const QString written =
        QFile::exists(iniPath) ? QString() : QStringLiteral("<br>(written when the window closes)");
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("About Vek Tool"));
    box.setTextFormat(Qt::RichText);
    box.setText(QStringLiteral("<p><b>Vek Tool %1</b><br>Brushless motor controllers over a serial port.</p>"
                               "<p>Qt %2 (built with Qt %3)</p>"
                               "<p>Settings file:<br><tt>%4</tt>%5</p>")
                    .arg(VekVersion(), QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR),
                         iniPath.toHtmlEscaped(), written));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);  // the path can be copied
    if (parent != nullptr) box.setIconPixmap(parent->windowIcon().pixmap(64, 64));
    box.exec();
}
