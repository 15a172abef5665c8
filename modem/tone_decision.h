// Sensitive receive's tone decision: which of the wanted signal's 18 grid tones a symbol holds.
//
// Each candidate is correlated with the symbol window at its exact grid frequency. Where the
// phase reference can predict the tones' phase, the likeliest tone is the one with the largest
// |W(J) + R exp(i slope J)| (R the trusted reference): expanded, |W|^2 + 2 Re(W conj R') with
// the reference's own power left out, as every candidate shares it. |W| is taken as the
// magnitude decision reads it from the symbol spectra, so that with no trust the choice is
// exactly the magnitude decision's. When the strongest candidate is a strong tone that misses its
// prediction badly, the transmitter's phase jumped: that symbol is decided by magnitude and the
// reference starts over. Called by SensitiveReceiver on the message thread; never allocates.
#pragma once

#include <array>
#include <complex>
#include <span>

#include "mode_profile.h"
#include "phase_reference.h"

namespace vantrel::modem {

// The band's 18 tones, and the position beyond each edge while the band's edges are not settled.
inline constexpr int kMaxCandidates = kToneCount + 2;

class ToneDecision {
public:
    ToneDecision();

    // Decides one symbol slot: the complex baseband of the pass, the decimated position where the
    // slot's window starts, the candidate tone positions (bins, at most kMaxCandidates of them,
    // 4 apart, ascending), each candidate's strength as the magnitude decision reads it from the symbol
    // spectra, and the most its value may weigh in the same unit (negative: no limit; a keyed
    // carrier's thinned-out bins set one). With usePhase false, or nothing to predict from, the
    // choice is the strongest candidate. Returns the index into positions of the chosen tone.
    int decide(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
               std::span<const double> positions, std::span<const double> strengths,
               std::span<const double> caps, bool usePhase, PhaseReference& reference);

private:
    using Complex = std::complex<double>;

    void toneValues(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
                    std::span<const double> positions, std::span<const double> caps,
                    const PhaseReference& reference);

    int candidates_ = 0;
    std::array<Complex, kMaxCandidates> values_{};
    std::array<int, kMaxCandidates> tones_{};
    std::array<float, 128> unitCos_{}, unitSin_{};  // e^{j 2 pi i / 128}
    std::array<float, 256> shiftRe_{}, shiftIm_{};  // e^{j 2 pi base m / 512}
    double shiftBase_ = -1;
};

}  // namespace vantrel::modem
