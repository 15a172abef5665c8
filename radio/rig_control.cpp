#include "radio/rig_control.h"

#include <cmath>
#include <cstdio>

namespace vantrel::radio {

std::string formatDial(const DialReading& dial) {
    const double rounded = std::nearbyint(dial.frequencyHz);
    // A radio does not tune below 0 Hz or above 1 THz; a reading outside is shown as 0.
    const long long hz = rounded >= 0 && rounded < 1e12 ? static_cast<long long>(rounded) : 0;
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%03lld.%03lld", hz / 1000000, hz / 1000 % 1000, hz % 1000);
    std::string shown = text;
    if (!dial.mode.empty()) shown += ' ' + dial.mode;
    return shown;
}

}  // namespace vantrel::radio
