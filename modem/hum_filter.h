// Sensitive receive's hum and DC filter: takes out of the baseband whatever lies outside the
// searched bins (everything the mixer put below the tuning frequency, the first bins above it,
// and what lies beyond the top marker). Our signal never has tones there, but a strong steady
// component there (mains hum and its harmonics, a DC offset or a square wave the mixer moved
// anywhere) leaks into the searched bins of every symbol window. The whole two-block window goes
// through one long transform; only when it holds steady energy outside the searched bins is
// anything changed. Buffers are members; never allocates.
#pragma once

#include <array>
#include <complex>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class HumFilter {
public:

    // The baseband (kDecimatedLength I and Q samples at sampleRate / 8), filtered in place;
    // captureTop is the highest searched bin. Returns true when it held steady energy outside
    // the searched bins and was filtered.
    bool process(std::span<float> baseI, std::span<float> baseQ, int captureTop);

private:
    using Complex = std::complex<double>;
    void transform(std::span<const float> baseI, std::span<const float> baseQ);
    float power(int k) const;  // of the transform's bin k (negative: below the tuning frequency)
    int strongestOutside() const;
    void buildMask(int captureTop);
    void subtractTone(std::span<float> baseI, std::span<float> baseQ, int k);

    std::array<float, kDecimatedLength> re_{}, im_{};
    std::array<float, kDecimatedLength> mask_{};   // gain per bin of the long transform
    int maskTop_ = -1;                             // the captureTop the mask was made for
    int passTo_ = 0;                               // first bin of the transform no longer passed whole
    std::array<float, kDecimatedLength> scratch_{};
};

}  // namespace vantrel::modem
