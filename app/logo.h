// The program's logo, painted at run time: 280 by 48 pixels; and its icon, the logo's mark on a square.
#pragma once

#include <QIcon>
#include <QPixmap>

QPixmap VekLogo();
QIcon VekIcon();
