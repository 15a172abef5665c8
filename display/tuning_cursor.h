// "cursor1": the pointer shown over the waterfall and scale. 32 x 32 pixels, hot spot at the
// top-left corner, a vertical double-headed arrow at its left edge and the words LEFT, CLICK,
// TO DRAG, SCREEN on four lines, black on a white halo so it reads on any picture.
#pragma once

#include <QCursor>
#include <QImage>

namespace vantrel::display {

inline constexpr int kCursorSize = 32;

// The pointer picture (ARGB, transparent around the halo). Needs no window system.
QImage tuningCursorImage();

// The pointer itself; needs a QGuiApplication.
QCursor tuningCursor();

}  // namespace vantrel::display
