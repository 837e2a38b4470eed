// Pictures drawn by the program itself: toolbar buttons, window icon, splash.
#pragma once

#include <QIcon>
#include <QPixmap>

QIcon ToolbarIcon(unsigned id);
QIcon AppIcon();
QPixmap SplashPicture();  // 240 x 180
