#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>

/// The 361 x 241 target picture that is the background of every window.
QPixmap TargetPicture();
/// The 32 x 32 icon of every window and of the tray.
QIcon AppIcon();
/// The 8 pt sans-serif system font the window layouts were drawn for; the larger default of most
/// desktops would cut the captions of the small controls off.
QFont DesignFont();
