// The program's logo, painted at run time: 280 by 48 pixels.
#pragma once

#include <QPixmap>

QPixmap VekLogo();
