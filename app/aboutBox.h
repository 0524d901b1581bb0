// Help > About: the program's version, the Qt it runs on, and where its settings file is.
#pragma once

#include <QString>

class QWidget;

void ShowAboutBox(QWidget* parent, const QString& iniPath);
