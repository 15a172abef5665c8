// Sensitive receive's noise blanker. A static crash is a burst of a few milliseconds far above
// anything else on the band; left in, one crash outweighs whole symbols in the tone decision, the
// symbol timing, the S/N reading, the carrier following and the phase reference. Samples of the
// baseband far above the window's typical power are set to zero, with a guard for the decimating
// filter's spread, so that a crash costs only the symbols under it. Never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class NoiseBlanker {
public:
    // The baseband (kDecimatedLength I and Q samples), blanked in place. Returns how many
    // samples were blanked.
    int process(std::span<float> baseI, std::span<float> baseQ);

    // 1 where the last call blanked the sample.
    std::span<const std::uint8_t> blanked() const { return blanked_; }

private:
    std::array<float, kDecimatedLength> power_{}, scratch_{};
    std::array<std::uint8_t, kDecimatedLength> blanked_{};
};

}  // namespace vantrel::modem
