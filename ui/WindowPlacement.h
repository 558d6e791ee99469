// Puts a top-level window on its screen before it shows (ScreenFit.h): inside
// the work area, in the size its layout gives where there is room, and, the
// first time it opens from another window without a place of its own, a step
// below and right of that window.
#pragma once

class QWidget;

namespace qf::ui {

// Fits `window` inside the work area of its screen. `opener` (may be null)
// is the window it opens from; its frame also tells the size of the frame
// the window manager will give `window`, which has none before it shows.
void placeOnScreen(QWidget& window, const QWidget* opener);

}  // namespace qf::ui
