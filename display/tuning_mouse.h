// Tuning by dragging the waterfall, the pointer over the display and the squelch click on the
// S/N meter. Plain logic: the main window forwards its mouse events here (x, y in its client
// coordinates, pixels) with the current tuning frequency F (Hz) and carries out the returned
// MouseAction. Called on the GUI thread only.
#pragma once

#include <optional>

namespace vantrel::display {

inline constexpr int kMinTuning = 0;     // Hz
inline constexpr int kMaxTuning = 2500;  // Hz

// A press that landed on the S/N meter, in the meter's own client coordinates.
struct MeterClick {
    int y = 0;       // pointer's vertical position in the meter, pixels
    int height = 0;  // the meter's client height, pixels
};

struct MouseAction {
    enum class Pointer { Standard, Tuning, CrossHair };
    std::optional<Pointer> pointer;   // none: leave the pointer as it is
    bool showScale = false;           // redraw the scale window for the new F
    int tuningFrequency = 0;          // F after the event; equal to the given F when unchanged
    std::optional<int> squelchLevel;  // set by a click on the meter
};

class TuningMouse {
public:
    // `clientRight` is the right edge R of the main window's client area (its width).
    MouseAction onMouseMove(int x, int y, int clientRight, int sampleRate, int tuningFrequency);
    // `meter` is set when the press landed on the S/N meter.
    MouseAction onLeftButtonDown(std::optional<MeterClick> meter, int tuningFrequency);
    MouseAction onLeftButtonUp(int tuningFrequency);
    // A frequency chosen elsewhere (a station in the signal browser): within the same limits
    // as the end of a drag, with the scale redrawn as a drag does.
    static MouseAction tuneTo(int tuningFrequency);

    bool dragging() const { return dragging_; }
    int lastDragY() const { return lastDragY_; }
    int mouseY() const { return mouseY_; }

    // The pointer area over the waterfall and scale: R - 114 < x < R, 35 < y < 277.
    static bool overDisplay(int x, int y, int clientRight);

private:
    bool dragging_ = false;
    int lastDragY_ = 0;  // y of the last move used for dragging
    int mouseY_ = 0;     // y of the latest move
};

// The squelch level a click sets: nearest(0.61 * (height - y)), at least 1.
int squelchFromMeterClick(MeterClick click);

}  // namespace vantrel::display
