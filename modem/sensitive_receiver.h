// Sensitive receive: the stages the analysis pass runs instead of the standard tone and timing
// decisions when the option is on. In the order of a pass:
//   1. clean: the hum filter takes out steady energy below the band, the noise blanker zeroes
//      static crashes, the followed carriers are subtracted (HumFilter, NoiseBlanker,
//      CarrierRejection); the timing panel and every later stage read this baseband;
//   2. decide: the symbol spectra of the cleaned baseband are learnt from (carriers, grid), the
//      wanted signal's grid is placed (GridTracker), the symbol timing of the next pass is found
//      on its tones (SymbolTiming), and every symbol is decided among its 18 tones with their
//      predicted phase (ToneDecision, PhaseReference).
// Work arrays are members, made at construction; no call allocates. Owned by RxAnalyzer.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "carrier_rejection.h"
#include "grid_tracker.h"
#include "hum_filter.h"
#include "mode_profile.h"
#include "noise_blanker.h"
#include "phase_reference.h"
#include "symbol_timing.h"
#include "tone_decision.h"
#include "window_spectra.h"

namespace vantrel::modem {

class SensitiveReceiver {
public:
    void reset();

    // At the top of every pass, Sensitive receive on or off, so that the phase reference's time
    // base stays whole.
    void startPass(const ModeProfile& profile, int tuningFrequency);

    // Stage one: the pass's baseband (kDecimatedLength I and Q samples) made into what
    // Sensitive receive listens to in bins captureBottom..captureTop.
    void clean(std::span<const float> baseI, std::span<const float> baseQ, int captureTop);
    std::span<const float> cleanI() const { return cleanI_; }
    std::span<const float> cleanQ() const { return cleanQ_; }

    // What stage two gives the analysis pass.
    struct Decisions {
        double peakSum = 0;  // the S/N reading's signal: 4 x each symbol's strongest magnitude
        double total = 0;    // and everything in the capture range
        int nextOffset = 0;  // the timing offset for the next pass
    };
    // Stage two: decides the pass's symbols, taken at `offset`, into slotPeaks (bins from
    // captureBottom); timingRows are the timing spectra of the cleaned baseband.
    Decisions decide(int captureTop, int offset, std::span<const float> timingRows, bool tonePhase,
                     std::span<double> slotPeaks);

    const CarrierRejection& carriers() const { return carriers_; }
    const PhaseReference& phaseReference() const { return reference_; }
    int blankedSamples() const { return blanked_; }

private:
    void decideOnGrid(std::span<const double> candidates, int offset, bool tonePhase, std::span<double> slotPeaks);

    const ModeProfile* profile_ = &defaultProfile();
    int tuningFrequency_ = kDefaultTuningFrequency;

    HumFilter hum_;
    NoiseBlanker blanker_;
    CarrierRejection carriers_;
    GridTracker grid_;
    SymbolTiming timing_;
    PhaseReference reference_;
    ToneDecision decision_;

    std::array<float, kDecimatedLength> cleanI_{}, cleanQ_{};
    int blanked_ = 0;
    bool humOn_ = false;
    std::array<float, kMaxSymbolsPerBlock * kSymbolBins> rows_{};  // the decision spectra
    FftScratch scratch_;
};

}  // namespace vantrel::modem
