// A radio channel between two stations, for the loopback tests and the measurement tools:
// sample-clock error, frequency offset, slow fading or two-path fading, a noise-only lead-in,
// steady, drifting and keyed carriers from other stations, other stations of the mode, static
// crashes, mains hum, a transmitter whose phase jumps, and white Gaussian noise. Deterministic
// for a given seed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace vantrel::testsupport {

// Another transmitter in the passband, as the receiver hears it: a steady carrier (a station
// tuning up, a birdie) or one keying Morse code.
struct Carrier {
    double hz = 1000;        // audio frequency at the receiver
    double relativeDb = 0;   // power over the signal's power (a keyed carrier: while key down)
    bool morse = false;      // keyed with Morse text at morseWpm words per minute
    double morseWpm = 20;
    double driftHzPerS = 0;  // the frequency moves this fast; hz is where it is at the first sample
};

// Another station of the mode on the band: its transmission as rendered at the same speed, heard
// offsetHz above the wanted signal (with the same offset and clock error), relativeDb over the
// wanted signal's power, from startS seconds after the wanted transmission's first sample
// (negative: before it).
struct Neighbour {
    std::vector<std::int16_t> transmission;
    double offsetHz = 0;
    double relativeDb = 0;
    double startS = 0;
};

// Static crashes: bursts of white noise at perSecond random times (a Poisson process), each
// lasting minMs..maxMs, rising at once and decaying by 30 dB over its length; at its peak a
// burst's power is peakDb over the signal's. The receiver's level leaves room for their peaks.
struct Crashes {
    double perSecond = 0.5;
    double peakDb = 50;
    double minMs = 1, maxMs = 10;
};

// Mains hum: every harmonic of mainsHz up to topHz, as strong as each other, with random
// phases; relativeDb is their total power over the signal's.
struct Hum {
    double mainsHz = 50;
    double topHz = 1000;
    double relativeDb = 40;
};

// Two equal paths whose gains wander with a Gaussian Doppler spectrum (the usual ionospheric
// model); spreadHz is twice the standard deviation of that spectrum.
struct Fading {
    double delayMs = 0;
    double spreadHz = 0;
};
inline constexpr Fading kFadingModerate{1.0, 0.5};
inline constexpr Fading kFadingPoor{2.0, 1.0};
// Flutter: the paths' gains wander several times a second.
inline constexpr Fading kFadingFlutter{0.5, 2.0};

struct ChannelSettings {
    // Signal power over the power of the noise in a 2500 Hz bandwidth; no noise when empty.
    std::optional<double> snrDb;
    double frequencyOffsetHz = 0;  // receiver hears every tone this much higher
    double clockPpm = 0;           // receiver's sample clock runs this much fast
    int leadInSamples = 0;         // noise-only samples put before the signal
    double fadeDepthDb = 0;        // the signal's level wanders between 0 and -fadeDepthDb dB
    double fadePeriodS = 8;        // over roughly this many seconds
    std::optional<Fading> fading;  // none when empty
    std::vector<Carrier> carriers; // on the air from the first sample to the last
    std::vector<Neighbour> neighbours;
    std::optional<Crashes> crashes;
    std::optional<Hum> hum;
    // The transmitter's phase jumps to a new random value every this many samples of its
    // transmission, counted from its first symbol; 0 for a phase that never jumps.
    int phaseJumpSamples = 0;
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

// Morse keying of text at wpm words per minute: 1 while the key is down, with 5 ms raised-cosine
// edges; the text repeats, with a word space between repeats, to fill count samples.
std::vector<double> morseKeying(std::string_view text, double wpm, int sampleRate, std::size_t count);

// Band-limited resampling by ratio (output rate over input rate).
std::vector<double> resample(std::span<const double> x, double ratio);

}  // namespace vantrel::testsupport
