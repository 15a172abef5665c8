// The Qt side of tuning by mouse: what the main window's client widget needs to hand its mouse
// events to TuningMouse and to carry out the answer. Coordinates are the client widget's.
//
// Mouse moves without a button reach the client only through widgets that track the mouse:
// turn on mouse tracking on the client and on every child under the display (the frames, the
// meter and its scale). Children that ignore presses (frames, the meter) pass them on to the
// client; the overlay takes no mouse input at all.
#pragma once

#include "display/tuning_mouse.h"

#include <QCursor>
#include <QPoint>

#include <optional>

class QWidget;

namespace vantrel::display {

// Sets the client's pointer as the action asks (nothing when it asks for no change).
void applyPointer(QWidget& client, const MouseAction& action, const QCursor& tuningCursor);

// The press as seen by the S/N meter when it landed on it, else none. `meter` is a child
// (at any depth) of `client`.
std::optional<MeterClick> meterClickAt(const QWidget& client, QPoint clientPos,
                                       const QWidget& meter);

}  // namespace vantrel::display
