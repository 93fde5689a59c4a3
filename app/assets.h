#pragma once

#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QRect>

class QLabel;
class QWidget;

/// The 361 x 241 target picture that is the background of every window.
QPixmap TargetPicture();
/// The 32 x 32 icon of every window and of the tray.
QIcon AppIcon();
/// The 8 pt sans-serif system font the window layouts were drawn for; the larger default of most
/// desktops would cut the captions of the small controls off.
QFont DesignFont();
/// The control `WinIII`: the target picture at its natural size, top-left at `topLeft`.
QLabel* createTargetPictureLabel(QWidget* parent, QPoint topLeft = QPoint(0, 0));
/// The control `xx`: the borderless panel that covers the picture in solid mode, hidden at start.
QWidget* createSolidPanel(QWidget* parent, const QRect& geometry);
