#include "audio/sample_levels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace vantrel::audio {

InputLevel measureInputLevel(std::span<const std::int16_t> block) {
    int peak = 0;
    int fullScale = 0;
    for (const std::int16_t s : block) {
        const int magnitude = std::abs(int{s});
        peak = std::max(peak, magnitude);
        if (magnitude >= 32767) ++fullScale;
    }
    InputLevel level;
    level.fullScaleSamples = fullScale;
    if (peak > 0) level.peakDbfs = std::max(kSilenceDbfs, static_cast<float>(20.0 * std::log10(peak / 32768.0)));
    return level;
}

double gainFromDb(int db) {
    return std::pow(10.0, std::clamp(db, kMinTransmitLevelDb, kMaxTransmitLevelDb) / 20.0);
}

void applyGain(std::span<std::int16_t> samples, double gain) {
    if (gain == 1.0) return;
    for (std::int16_t& s : samples) {
        const double scaled = std::nearbyint(s * gain);
        s = static_cast<std::int16_t>(std::clamp(scaled, -32768.0, 32767.0));
    }
}

}  // namespace vantrel::audio
