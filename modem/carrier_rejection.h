// Sensitive receive's defence against other transmitters' carriers in the passband. Our signal
// never holds a tone for two symbols (every step moves it by 2 to 17 tones), while a carrier
// stays on, or drifts slowly across, the same frequency from symbol to symbol; that difference is
// what both defences use:
// - a steady or drifting carrier (a station tuning up, a birdie, an oscillator warming up) is
//   followed in frequency, drift and phase and subtracted from the baseband before the tone
//   decision and the symbol timing see it;
// - bins that stay busy across symbols but come and go (a station keying Morse) keep only what
//   stands out above the same bin in the neighbouring symbols.
// A bin our own signal keeps busy, however often (a text of one repeated character uses two
// tones), is never taken for a carrier: its busy symbols never follow each other. Every bin of
// the spectra is learnt, whatever the capture range, so that raising the top marker finds the
// new bins known. Without carriers nothing is changed, so the tone decision and the S/N reading
// keep their meaning. Work arrays are members; no call allocates. Called by SensitiveReceiver
// once per pass.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class CarrierRejection {
public:
    void reset();

    // Subtracts the followed carriers from the baseband (I, Q at sampleRate / 8, in place),
    // leaving the samples the blanker zeroed alone and out of the estimates. Returns false,
    // changing nothing, when no carrier is followed.
    bool cancel(std::span<float> baseI, std::span<float> baseQ, std::span<const std::uint8_t> blanked);

    // Learns from this pass's decision spectra (one row of kSymbolBins magnitudes per symbol
    // slot of the profile): which bins hold a carrier to follow from the next pass on, and which
    // bins hold one that comes and goes.
    void learn(std::span<const float> rows, const ModeProfile& profile, int captureTop);

    // Bins flagged by learn as holding a keyed carrier keep only what rises above the same bin
    // in the neighbouring symbols (the last row of the previous pass counts as a neighbour).
    void suppressKeyed(std::span<float> rows, int symbols, int captureTop);

    bool keyedBin(int bin) const { return bin >= 0 && bin < kSymbolBins && keyed_[static_cast<std::size_t>(bin)] != 0; }
    int followedCarriers() const;

private:
    struct Track {
        bool active = false;
        double nu = 0;     // baseband frequency at the window's centre, cycles per decimated sample
        double rate = 0;   // how fast nu drifts, per decimated sample
        int passes = 0;    // passes followed
        int weak = 0;      // passes in a row in which it was hardly there
        double level = 0;  // last amplitude in the units of the symbol spectra
    };
    // A local peak seen in consecutive symbols at nearly the same place: a carrier in the making.
    struct Run {
        bool active = false;
        std::array<double, 8> bins{};  // where it was in each symbol seen
        double level = 0;              // its magnitude, averaged
        int symbols = 0;               // symbols in a row it has been seen in
    };
    static constexpr int kMaxTracks = 3;
    static constexpr int kMaxRuns = 8;

    void refine(Track& t, std::span<float> i, std::span<float> q, std::span<const std::uint8_t> blanked);
    void startTrack(double bin, double binsPerSymbol);
    bool nearTrack(double bin) const;
    void updateStatistics(std::span<const float> rows, int symbols);
    void followRuns(const float* row, int hi);
    void judgeBins(int lo, int hi);

    std::array<Track, kMaxTracks> tracks_{};
    std::array<Run, kMaxRuns> runs_{};
    int windowLength_ = 128;     // decimated samples per symbol window
    double maxRate_ = 0;         // the fastest drift followed, per decimated sample

    // Per-bin averages over recent symbols of magnitude, squared magnitude and the product with
    // the same bin in the symbol before, and their weight.
    std::array<double, kSymbolBins> mean_{}, meanSquare_{}, meanLag_{};
    double weight_ = 0;
    double peakMean_ = 0;     // average of each symbol's strongest magnitude
    double passPeak_ = 0;     // this pass's average strongest magnitude
    double floor_ = 0;        // noise level: lower quartile of the bin averages
    double signalLevel_ = 0;  // average strongest magnitude outside keyed bins
    std::array<std::uint8_t, kSymbolBins> keyed_{};
    std::array<float, kSymbolBins> previousRow_{};
    std::array<double, kSymbolBins> scratch_{};
};

}  // namespace vantrel::modem
