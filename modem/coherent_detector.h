// Coherent tone decisions for Sensitive receive, once the tone grid is known.
//
// Our transmitter keeps its phase continuous and starts every symbol at the same phase, so each
// tone is a piece of one of 18 steady oscillators that all agree at the symbol boundaries. The
// receiver can therefore predict, from the tones it has already decided, the phase every tone
// should have in the next symbol, and decide against that prediction instead of by magnitude
// alone. Where the prediction has been poor lately (fading, flutter, pull-in, no signal) the
// decision falls back to magnitudes. Called by RxAnalyzer on the message thread; never allocates.
#pragma once

#include <array>
#include <complex>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class CoherentDetector {
public:
    CoherentDetector();

    // Forget every phase learnt so far.
    void reset();

    // At the top of every analysis pass, whether or not the grid is then placed: the history
    // window has moved one block on (kBlockLength samples).
    void startPass(const ModeProfile& profile, int tuningFrequency);

    // The grid could not be placed this pass: the phase history ends here.
    void loseGrid() { reset(); }

    // The grid this pass: position (in bins of the symbol spectrum, fractional) of its lowest
    // tone candidate. Called once per pass, before the symbols of the pass are decided.
    void setGrid(double firstPosition);

    // Decides one symbol slot: the complex baseband of the pass, the decimated position where the
    // slot's window starts, and the candidate tone positions (bins, kToneCount of them, 4 apart,
    // ascending), each candidate's strength as the magnitude decision reads it from the symbol
    // spectra, and the most its value may weigh in the same unit (negative: no limit; a keyed
    // carrier's thinned-out bins set one). Returns the index into positions of the chosen tone;
    // with nothing to predict from, that is the strongest candidate.
    int decide(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
               std::span<const double> positions, std::span<const double> strengths,
               std::span<const double> caps);

    // How far the last decision leant on the phase prediction: 0 (by magnitude alone) to 1 (as
    // far as the noise of the kept symbols allows).
    double reliability() const { return reliability_; }
    // How well the predictions met the strongest tones that followed them: the mean cosine of
    // their phase errors, about 0 when the phase does not carry from symbol to symbol.
    double agreement() const { return agreement_; }

private:
    using Complex = std::complex<double>;
    static constexpr int kHistory = 32;  // symbols the phases are learnt from

    struct Kept {
        Complex value;          // the tone's value with the known rotations taken out
        int tone = 0;           // grid tone, counted from the reference frequency
        long long symbol = -1;  // symbols decided before it
        double hit = 0;         // cosine of the phase error of the prediction made for it
        Complex level;          // value turned back to grid tone 0 with the current slope
        double noise = 0;       // mean power of the other candidates in its window
    };

    const Kept& kept(int age) const;  // age 1 = the last symbol kept
    void advanceTo(int windowStart);
    void toneValues(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
                    std::span<const double> positions, std::span<const double> caps);
    Complex prediction(double& trust, double& agreement) const;
    void estimateRotation();
    void refineRotation();
    void retune();  // after the slope or the rotation changed

    const ModeProfile* profile_ = &defaultProfile();
    int tuningFrequency_ = kDefaultTuningFrequency;
    long long pass_ = 0;      // passes since creation: the time base of the windows
    long long symbol_ = 0;    // symbols decided since creation

    bool locked_ = false;     // a reference frequency and a time base exist
    double referenceHz_ = 0;  // audio frequency of grid tone 0
    long long lastTime_ = -1; // audio sample where the previous decided window started
    double commonPhase_ = 0;  // rotation taken out of every tone, radians
    double tonePhase_ = 0;    // further rotation taken out per grid tone, radians

    std::array<Kept, kHistory> history_{};
    int historyCount_ = 0;
    int historyHead_ = 0;     // where the next symbol is kept

    double slope_ = 0;        // phase step from one grid tone to the next, radians
    double rotation_ = 0;     // phase step left from one symbol to the next, radians
    double reliability_ = 0;
    double agreement_ = 0;
    double uniqueness_ = 0;   // how clearly the kept tone steps fix the slope, 0..1

    // This symbol's candidates.
    int candidates_ = 0;
    std::array<Complex, kToneCount> values_{};
    std::array<int, kToneCount> tones_{};

    std::array<double, kHistory> weights_{};                 // by age: 1, kForget, kForget^2...
    std::array<Complex, 64> slopeTurns_{};                   // e^{-j 2 pi q / 64}
    std::array<Complex, kHistory> ageTurns_{};               // e^{j rotation age}, age 1..
    Complex toneTurn_{};                                     // this window's turn per grid tone
    std::array<float, 128> unitCos_{}, unitSin_{};           // e^{j 2 pi i / 128}
    std::array<float, 256> shiftRe_{}, shiftIm_{};           // e^{j 2 pi base m / 512}
    double shiftBase_ = -1;
};

}  // namespace vantrel::modem
