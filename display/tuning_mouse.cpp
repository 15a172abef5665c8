#include "display/tuning_mouse.h"

#include <algorithm>
#include <cmath>

namespace vantrel::display {

namespace {

// Drags never move F once the drag began below the display.
constexpr int kDragLimitY = 277;

int clampTuning(int hz) { return std::clamp(hz, kMinTuning, kMaxTuning); }

// Rounds to the nearest (ties to even) and holds the result within int.
int nearestInt(double v) {
    constexpr double kLimit = 1e9;
    return static_cast<int>(std::clamp(std::nearbyint(v), -kLimit, kLimit));
}

}  // namespace

bool TuningMouse::overDisplay(int x, int y, int clientRight) {
    return clientRight - 114 < x && x < clientRight && 35 < y && y < 277;
}

MouseAction TuningMouse::onMouseMove(int x, int y, int clientRight, int sampleRate,
                                     int tuningFrequency) {
    MouseAction action;
    action.tuningFrequency = tuningFrequency;
    mouseY_ = y;
    action.pointer = overDisplay(x, y, clientRight) ? MouseAction::Pointer::Tuning
                                                    : MouseAction::Pointer::Standard;
    if (lastDragY_ > kDragLimitY) return action;
    if (dragging_) {
        // The picture follows the pointer: one row up lowers F by sampleRate / 4000 Hz.
        const double d = static_cast<double>(lastDragY_) - y;
        action.tuningFrequency = nearestInt(tuningFrequency - 3.0 * d * sampleRate / 12000.0);
        lastDragY_ = y;
    }
    action.showScale = true;
    return action;
}

MouseAction TuningMouse::onLeftButtonDown(std::optional<MeterClick> meter, int tuningFrequency) {
    MouseAction action;
    if (meter) {
        action.pointer = MouseAction::Pointer::CrossHair;
        action.squelchLevel = squelchFromMeterClick(*meter);
    }
    dragging_ = true;
    lastDragY_ = mouseY_;
    action.tuningFrequency = clampTuning(tuningFrequency);
    return action;
}

MouseAction TuningMouse::onLeftButtonUp(int tuningFrequency) {
    MouseAction action;
    dragging_ = false;
    action.tuningFrequency = clampTuning(tuningFrequency);
    return action;
}

MouseAction TuningMouse::tuneTo(int tuningFrequency) {
    MouseAction action;
    action.tuningFrequency = clampTuning(tuningFrequency);
    action.showScale = true;
    return action;
}

int squelchFromMeterClick(MeterClick click) {
    // A level below 1 would lock SEND out on any signal and not survive a restart.
    return std::max(1, nearestInt(0.61 * (static_cast<double>(click.height) - click.y)));
}

}  // namespace vantrel::display
