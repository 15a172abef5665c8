#include "tone_decision.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// A phase jump: the strongest candidate this many times the mean power of the others (noise that
// strong is one symbol in ten thousand), missing its prediction by more than a sixth of a turn
// (the phase of a tone that strong wanders by a quarter of that with noise alone), where the
// trusted prediction weighed at least this share of the tone's own amplitude (less cannot turn a
// decision against a tone that strong).
constexpr double kJumpPower = 8.0;
constexpr double kJumpCosine = 0.5;
constexpr double kJumpWeight = 0.25;

}  // namespace

ToneDecision::ToneDecision() {
    for (std::size_t i = 0; i < unitCos_.size(); ++i) {
        unitCos_[i] = static_cast<float>(std::cos(kTwoPi * static_cast<double>(i) / 128.0));
        unitSin_[i] = static_cast<float>(std::sin(kTwoPi * static_cast<double>(i) / 128.0));
    }
}

void ToneDecision::toneValues(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
                              std::span<const double> positions, std::span<const double> caps,
                              const PhaseReference& reference) {
    const int rate = reference.profile().sampleRate;
    const double binHz = rate / 4096.0;
    const int tuning = reference.tuningFrequency();
    // Every candidate exactly on the reference grid: tone J at base + 4 J bins.
    const double base = (reference.referenceHz() - tuning) / binHz;
    if (base != shiftBase_) {
        for (std::size_t m = 0; m < shiftRe_.size(); ++m) {
            const double angle = kTwoPi * std::fmod(base * static_cast<double>(m) / 512.0, 1.0);
            shiftRe_[m] = static_cast<float>(std::cos(angle));
            shiftIm_[m] = static_cast<float>(std::sin(angle));
        }
        shiftBase_ = base;
    }
    // A double-spaced window holds two periods of the 4-bin grid; they fold onto one.
    std::array<float, 128> foldRe{}, foldIm{};
    const int len = 128 * reference.profile().spacingFactor;
    const int available = static_cast<int>(std::min(baseI.size(), baseQ.size()));
    for (int m = 0; m < len; ++m) {
        const int p = windowStart + m;
        if (p < 0 || p >= available) continue;
        const auto um = static_cast<std::size_t>(m);
        const float xr = baseI[static_cast<std::size_t>(p)] / 32.0f, xi = baseQ[static_cast<std::size_t>(p)] / 32.0f;
        foldRe[um & 127] += xr * shiftRe_[um] - xi * shiftIm_[um];
        foldIm[um & 127] += xr * shiftIm_[um] + xi * shiftRe_[um];
    }
    const Complex toneTurn = reference.toneStep();
    candidates_ = std::min<int>(static_cast<int>(positions.size()), kMaxCandidates);
    Complex turn{};
    int turnTone = 0;
    for (int i = 0; i < candidates_; ++i) {
        const int tone = reference.toneAt(tuning + positions[static_cast<std::size_t>(i)] * binHz);
        const int r = ((tone % 128) + 128) % 128;
        float yr = 0.0f, yi = 0.0f;
        for (int m = 0; m < 128; ++m) {
            const auto um = static_cast<std::size_t>(m);
            const auto t = static_cast<std::size_t>((r * m) & 127);
            yr += foldRe[um] * unitCos_[t] - foldIm[um] * unitSin_[t];
            yi += foldRe[um] * unitSin_[t] + foldIm[um] * unitCos_[t];
        }
        // Successive candidates are successive grid tones: their turns differ by one step.
        turn = i > 0 && tone == turnTone + 1 ? turn * toneTurn : reference.turnFor(tone, windowStart);
        turnTone = tone;
        Complex value = Complex(yr, yi) * turn;
        // The spectra's unit is the transform's magnitude divided by 100.
        const double cap = static_cast<std::size_t>(i) < caps.size() ? 100.0 * caps[static_cast<std::size_t>(i)] : -1.0;
        if (cap >= 0 && std::abs(value) > cap) value *= cap / std::abs(value);
        tones_[static_cast<std::size_t>(i)] = tone;
        values_[static_cast<std::size_t>(i)] = value;
    }
}

int ToneDecision::decide(std::span<const float> baseI, std::span<const float> baseQ, int windowStart,
                         std::span<const double> positions, std::span<const double> strengths,
                         std::span<const double> caps, bool usePhase, PhaseReference& reference) {
    reference.advanceTo(windowStart);
    toneValues(baseI, baseQ, windowStart, positions, caps, reference);
    const PhaseReference::Prediction prediction = reference.predict();
    const Complex trusted = (usePhase ? prediction.reliability : 0.0) * prediction.reference;
    const double slope = reference.slope();

    // The strength is the magnitude decision's own, in the transform's unit.
    const auto strengthOf = [&](int i) {
        const auto ui = static_cast<std::size_t>(i);
        return ui < strengths.size() ? 100.0 * strengths[ui] : std::abs(values_[ui]);
    };
    int best = 0, strongest = 0, loudest = 0;
    double bestMetric = -1;
    const Complex slopeStep = std::polar(1.0, slope);
    Complex expected{};
    for (int i = 0; i < candidates_; ++i) {
        const auto ui = static_cast<std::size_t>(i);
        if (std::norm(values_[ui]) > std::norm(values_[static_cast<std::size_t>(strongest)])) strongest = i;
        if (strengthOf(i) > strengthOf(loudest)) loudest = i;
        expected = i > 0 && tones_[ui] == tones_[ui - 1] + 1 ? expected * slopeStep : trusted * std::polar(1.0, slope * tones_[ui]);
        // |strength + prediction|^2 without the prediction's own power, which every candidate shares.
        const double metric = strengthOf(i) * strengthOf(i) + 2.0 * std::real(values_[ui] * std::conj(expected));
        if (metric > bestMetric) {
            bestMetric = metric;
            best = i;
        }
    }

    double others = 0;
    for (int i = 0; i < candidates_; ++i)
        if (i != strongest) others += std::norm(values_[static_cast<std::size_t>(i)]);
    const double noise = candidates_ > 1 ? others / (candidates_ - 1) : 0.0;
    const auto us = static_cast<std::size_t>(strongest);
    const Complex predicted = prediction.reference * std::polar(1.0, slope * tones_[us]);
    // A strong tone far off a prediction that weighed in the decision: the transmitter's phase
    // jumped. The prediction that led this decision belongs to the old phase.
    const double hit = reference.grade(values_[us], predicted);
    const bool jumped = hit < kJumpCosine && std::norm(values_[us]) > kJumpPower * noise &&
                        std::abs(trusted) > kJumpWeight * std::abs(values_[us]);
    if (jumped) reference.startOver();
    reference.keep(values_[us], tones_[us], noise, jumped ? 0.0 : hit);
    return jumped ? loudest : best;
}

}  // namespace vantrel::modem
