// Sensitive receive's hum and DC filter: takes out of the baseband whatever lies below the lowest
// searched bin (everything the mixer put below the tuning frequency, and the first bins above
// it). Our signal never has tones there, but a strong steady component there (mains hum and its
// harmonics, a DC offset or a square wave the mixer moved down) leaks into the lowest bins of
// every symbol window. The whole two-block window goes through one long transform; only when it
// holds steady energy below the band is anything changed. Buffers are members; never allocates.
#pragma once

#include <array>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class HumFilter {
public:
    HumFilter();

    // The baseband (kDecimatedLength I and Q samples at sampleRate / 8), filtered in place.
    // Returns true when it held steady energy below the band and was filtered.
    bool process(std::span<float> baseI, std::span<float> baseQ);

private:
    std::array<float, kDecimatedLength> re_{}, im_{};
    std::array<float, kDecimatedLength> mask_{};   // gain per bin of the long transform
    std::array<float, kDecimatedLength> scratch_{};
};

}  // namespace vantrel::modem
