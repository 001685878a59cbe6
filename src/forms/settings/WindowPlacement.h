#pragma once
// Window geometry for the stored placements: the screens' rectangles and a
// window's outer rectangle (frame included), read and set in screen pixels.
#include <QWidget>

#include "document/AppSettings.h"

// Every screen's full rectangle, the primary screen first.
TScreenRects ScreenRects();

// The outer rectangle of a top-level window, frame included.
TRect OuterRect(const QWidget& window);

// Moves and sizes a top-level window so that its outer rectangle becomes
// rect. Until the window manager has framed the window its frame is not
// known: the window is then sized as if it had none and corrected once,
// when the frame becomes known, so that a stored size does not grow by a
// frame at every restart. A size the user (or a layout) gives the window
// before that cancels the correction.
void PlaceWindow(QWidget& window, const TRect& rect);
