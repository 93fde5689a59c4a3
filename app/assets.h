#pragma once

#include <QIcon>
#include <QPixmap>

/// The 361 x 241 target picture that is the background of every window.
QPixmap TargetPicture();
/// The 32 x 32 icon of every window and of the tray.
QIcon AppIcon();
