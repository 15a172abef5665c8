// Sensitive receive's defence against other transmitters in the passband. A carrier stays on one
// frequency from symbol to symbol while our tones move every symbol, and that difference is what
// both defences use:
// - a steady carrier (a station tuning up, a birdie) is followed in frequency and phase and
//   subtracted from the baseband before the tone decision and the fold timing see it;
// - bins that stay busy but come and go (a station keying Morse) keep only what stands out above
//   the same bin in the neighbouring symbols, since our signal never holds a tone for two symbols.
// Without carriers nothing is changed, so the tone decision and the S/N reading keep their meaning.
// Work arrays are members; no call allocates. Called by RxAnalyzer once per pass.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class CarrierRejection {
public:
    void reset();

    // Subtracts the followed steady carriers from the baseband (I, Q at sampleRate / 8) into
    // cleanI/cleanQ. Returns false, leaving clean untouched, when no carrier is followed.
    bool cancel(std::span<const float> baseI, std::span<const float> baseQ, std::span<float> cleanI,
                std::span<float> cleanQ);

    // Learns from this pass's decision spectra (symbols rows of kSymbolBins magnitudes, taken
    // from windows of windowLength decimated samples): which bins hold a steady carrier to
    // follow from the next pass on, and which bins hold one that comes and goes.
    void learn(std::span<const float> rows, int symbols, int windowLength, int captureTop);

    // Bins flagged by learn as holding a keyed carrier keep only what rises above the same bin
    // in the neighbouring symbols (the last row of the previous pass counts as a neighbour).
    void suppressKeyed(std::span<float> rows, int symbols, int captureTop);

    bool keyedBin(int bin) const { return keyed_[static_cast<std::size_t>(bin)] != 0; }
    int followedCarriers() const;

private:
    struct Track {
        bool active = false;
        double nu = 0;    // baseband frequency, cycles per decimated sample
        int passes = 0;   // passes followed
        int weak = 0;     // passes in a row in which it was hardly there
        double level = 0; // last amplitude in the units of the symbol spectra
    };
    static constexpr int kMaxTracks = 3;

    void refine(Track& t, std::span<float> i, std::span<float> q);
    void startTrack(int bin);

    std::array<Track, kMaxTracks> tracks_{};
    int windowLength_ = 128;

    // Per-bin averages of magnitude and squared magnitude over recent symbols, and their weight.
    std::array<double, kSymbolBins> mean_{}, meanSquare_{};
    double weight_ = 0;
    double peakMean_ = 0;  // average of each symbol's strongest magnitude
    double floor_ = 0;     // noise level: lower quartile of the bin averages
    double signalLevel_ = 0;  // average strongest magnitude outside keyed bins
    std::array<std::uint8_t, kSymbolBins> keyed_{};
    std::array<float, kSymbolBins> previousRow_{};
    std::array<double, kSymbolBins> scratch_{};
};

}  // namespace vantrel::modem
