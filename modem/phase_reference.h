// Sensitive receive's phase reference: what phase every tone of the wanted signal should have in
// the next symbol, and how far that prediction can be trusted.
//
// Our transmitter keeps its phase continuous and starts every symbol at the same phase, so each
// tone is a piece of one of 18 steady oscillators that all agree at the symbol boundaries. The
// tones already received therefore tell the phase every tone must have in the next symbol. The
// trust starts over when ToneDecision finds a strong tone far off its prediction (the
// transmitter's phase jumped) and builds up again as the predictions meet the tones. Called by
// ToneDecision on the message thread; never allocates.
#pragma once

#include <array>
#include <complex>

#include "mode_profile.h"

namespace vantrel::modem {

class PhaseReference {
public:
    using Complex = std::complex<double>;

    PhaseReference();

    // Forget every phase learnt so far.
    void reset();

    // At the top of every analysis pass, whether or not a grid is then placed: the history
    // window has moved one block on (kBlockLength samples).
    void startPass(const ModeProfile& profile, int tuningFrequency);

    // The grid this pass: position (bins of the symbol spectrum, fractional) of its lowest tone
    // candidate. Called once per pass, before the symbols of the pass are decided.
    void setGrid(double firstPosition);

    // The symbol window about to be decided starts at this decimated position of the pass.
    void advanceTo(int windowStart);

    // What a candidate's correlation must be turned by to sit in the reference's frame: the
    // mixer's phase at the window start taken out, and the tones' own advance since the first
    // window. `tone` counts grid tones from the reference frequency.
    Complex turnFor(int tone, int windowStart) const;
    Complex toneStep() const { return std::polar(1.0, tonePhase_); }
    // Grid tone of a candidate at this frequency (Hz).
    int toneAt(double hz) const;
    double referenceHz() const { return referenceHz_; }
    int tuningFrequency() const { return tuningFrequency_; }
    const ModeProfile& profile() const { return *profile_; }

    // The prediction for the next symbol: R for grid tone 0 (turn by slope() per tone), and the
    // weight it deserves, 0 (by magnitude alone) to 1.
    struct Prediction {
        Complex reference;
        double reliability = 0;
    };
    Prediction predict();
    double slope() const { return slope_; }

    // How well a symbol's strongest candidate met the prediction made for it: the cosine of the
    // phase error, 0 while there is too little history to predict from.
    double grade(const Complex& value, const Complex& predicted) const;
    // The transmitter's phase jumped: the history starts over, with no trust.
    void startOver();
    // The decided symbol's strongest candidate joins the history: its value in the reference's
    // frame, its grid tone, the mean power of the other candidates and its grade.
    void keep(Complex value, int tone, double noise, double hit);

    // How far the last decision leant on the phase prediction (0..1), and how well the
    // predictions met the strongest tones that followed them (mean cosine of the phase error).
    double reliability() const { return reliability_; }
    double agreement() const { return agreement_; }

private:
    static constexpr int kHistory = 32;  // symbols the phases are learnt from

    struct Kept {
        Complex value;          // the tone's value with the known rotations taken out
        int tone = 0;           // grid tone, counted from the reference frequency
        long long symbol = -1;  // symbols decided before it
        double hit = 0;         // cosine of the phase error of the prediction made for it
        Complex level;          // value turned back to grid tone 0 with the current slope
        double noise = 0;       // mean power of the other candidates in its window
    };
    struct Sums;

    const Kept& kept(int age) const;
    Sums sums() const;
    Complex reference(double& trust, double& agreement) const;
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

    std::array<double, kHistory> weights_{};    // by age: 1, kForget, kForget^2...
    std::array<Complex, 64> slopeTurns_{};      // e^{-j 2 pi q / 64}
    std::array<Complex, kHistory> ageTurns_{};  // e^{j rotation age}, age 1..
};

}  // namespace vantrel::modem
