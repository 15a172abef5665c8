// One receive analysis pass per captured 8192-sample block: mixer, decimating filter, symbol and
// timing spectra, symbol timing recovery, tone detection and the signal-to-noise reading. With
// Sensitive receive on, its own stages (SensitiveReceiver) take the timing and the tone decision
// over from the standard ones. Work arrays are sized for the largest profile at construction;
// processBlock never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mode_profile.h"
#include "sensitive_receiver.h"
#include "window_spectra.h"

namespace vantrel::modem {

// What the operator controls that the analysis reads on every pass.
struct RxSettings {
    int tuningFrequency = kDefaultTuningFrequency;  // Hz, mixed down to bin 0
    int captureTop = kMaxCaptureTop;                // highest bin searched, at most 122
    int squelchAttack = 1;                          // 0 Fast, 1 Med, 3 Slow
    bool sensitive = false;                         // fold timing, tone grid, tone phases
    bool tonePhase = true;                          // Sensitive receive decides with the tones' phase
};

class RxAnalyzer {
public:
    RxAnalyzer();

    // Receive state (timing, averages) is kept across a change of profile.
    void setProfile(const ModeProfile& profile);
    const ModeProfile& profile() const { return *profile_; }
    // Back to the state of a freshly created main window.
    void reset();

    // block.size() must be kBlockLength; a shorter block is padded with silence.
    void processBlock(std::span<const std::int16_t> block, const RxSettings& settings);

    int symbolCount() const { return symbolsPerBlock(*profile_); }
    // symbolCount() rows of 256 magnitudes, row after row; bin b is F + b * sampleRate / 4096 Hz.
    std::span<const float> symbolSpectra() const {
        return {symbolSpectra_.data(), static_cast<std::size_t>(symbolCount() * kSymbolBins)};
    }
    std::span<const double> timingProfile() const { return timingProfile_; }
    int timingPhase() const { return timingPhase_; }
    // The phase the timing panel draws: the one chosen by the pass before this one.
    int previousTimingPhase() const { return previousTimingPhase_; }
    int timingOffset() const { return timingOffset_; }
    // Strongest bin of each symbol slot, counted from captureBottom.
    std::span<const double> slotPeaks() const {
        return {slotPeak_.data(), static_cast<std::size_t>(symbolCount())};
    }
    int snrRaw() const { return snrRaw_; }
    // Sensitive receive: how far the last symbol's decision trusted the predicted tone phases,
    // 0 (by magnitude alone) to 1.
    double phaseReliability() const { return sensitive_.phaseReference().reliability(); }
    // How well the predicted tone phases have been meeting the tones that followed, 0 to 1.
    double phaseAgreement() const { return sensitive_.phaseReference().agreement(); }
    // Sensitive receive's view of other stations' carriers.
    const CarrierRejection& carrierRejection() const { return sensitive_.carriers(); }
    // Sensitive receive's noise blanker: baseband samples it zeroed in the last pass.
    int blankedSamples() const { return sensitive_.blankedSamples(); }
    int snrSmoothed() const { return snrSmoothed_; }

private:
    void mixAndDecimate(int tuningFrequency);
    void timingSpectraPass(int captureTop, std::span<const float> baseI, std::span<const float> baseQ);
    void chooseTimingPhase();
    void stepTimingOffset();
    // The standard tone decision: the strongest bin of every symbol; returns the raw reading.
    int toneDetection(int captureTop);
    static int rawReading(double peakSum, double total);
    void smoothSnr(int newRaw, int attack);

    const ModeProfile* profile_ = &defaultProfile();

    std::array<std::int16_t, 2 * kBlockLength> rxHistory_{};
    std::array<float, 2 * kBlockLength> mixCos_{}, mixSin_{};  // the mixer's cos/sin per sample
    int mixerFrequency_ = -1;
    int mixerRate_ = -1;
    std::array<float, 2 * kBlockLength + 64> mixScratchI_{}, mixScratchQ_{};  // filter reach past the end reads 0
    std::array<float, kDecimatedLength> baseI_{}, baseQ_{};
    std::array<float, kMaxSymbolsPerBlock * kSymbolBins> symbolSpectra_{};
    std::array<float, kTimingSteps * kTimingBins> timingSpectra_{};
    std::array<int, kTimingSteps> timingPeak_{};
    int lastTimingPeak_ = 0;
    std::array<double, kTimingSteps> timingProfile_{};
    int timingPhase_ = 0;
    int previousTimingPhase_ = 0;
    int timingOffset_ = 0;
    std::array<double, kMaxSymbolsPerBlock> slotPeak_{};
    int snrRaw_ = 0;
    int snrSmoothed_ = 0;

    SensitiveReceiver sensitive_;
    FftScratch scratch_;
};

}  // namespace vantrel::modem
