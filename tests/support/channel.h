// A radio channel between two stations, for the loopback tests and the measurement tools:
// sample-clock error, frequency offset, slow fading, a noise-only lead-in and white Gaussian
// noise.
// Deterministic for a given seed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vantrel::testsupport {

struct ChannelSettings {
    // Signal power over the power of the noise in a 2500 Hz bandwidth; no noise when empty.
    std::optional<double> snrDb;
    double frequencyOffsetHz = 0;  // receiver hears every tone this much higher
    double clockPpm = 0;           // receiver's sample clock runs this much fast
    int leadInSamples = 0;         // noise-only samples put before the signal
    double fadeDepthDb = 0;        // the signal's level wanders between 0 and -fadeDepthDb dB
    double fadePeriodS = 8;        // over roughly this many seconds
    // Receiver audio level: where signal and noise together would be louder than this RMS they
    // are turned down to it, as an operator sets the level so that the noise does not clip.
    double maxRms = 6000;
    std::uint64_t seed = 1;
};

// The transmitted samples (at sampleRate) as the receiver records them, clipped to 16 bits.
std::vector<std::int16_t> applyChannel(std::span<const std::int16_t> signal, int sampleRate,
                                       const ChannelSettings& settings);

// Slow fading (QSB): multiplies x by a gain that wanders smoothly between 1 (0 dB) and
// -depthDb dB, the sum of two slow sines of incommensurate periods with phases from the seed.
void applyFading(std::span<double> x, int sampleRate, double depthDb, double periodS, std::uint64_t seed);

// Standard deviation of the noise for a signal of this mean power (per sample) at this SNR.
double noiseSigma(double signalPower, double snrDb, int sampleRate);

// A true shift of every frequency by hz (through the analytic signal), not a mirror.
std::vector<double> shiftFrequency(std::span<const double> x, double hz, int sampleRate);

// Band-limited resampling by ratio (output rate over input rate).
std::vector<double> resample(std::span<const double> x, double ratio);

}  // namespace vantrel::testsupport
