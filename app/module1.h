#pragma once

class QWidget;

/// Starts an interactive move by the mouse while a button is held down on `hWnd`: a top-level
/// window moves over the screen, a control moves inside its window. The move ends on release and
/// the window or control stays where it was dropped. Does nothing when no mouse button is down.
void DragWindow(QWidget* hWnd);
