#include "sensitive_receiver.h"

#include <algorithm>
#include <cmath>

namespace vantrel::modem {
namespace {

// The power per baseband sample that rounding to 16 bits alone leaves (1/12 of a step squared,
// through the decimating filter, whose squared taps sum to 0.1142).
constexpr double kRoundingPower = 0.1142 / 12.0;
// The mean magnitude of a complex Gaussian value of unit power.
constexpr double kRayleighMean = 0.886;
// A range holding less than this many times what rounding alone gives holds nothing.
constexpr double kSilenceMargin = 4.0;

}  // namespace

void SensitiveReceiver::reset() {
    carriers_.reset();
    grid_.reset();
    timing_.reset();
    reference_.reset();
    blanked_ = 0;
}

void SensitiveReceiver::startPass(const ModeProfile& profile, int tuningFrequency) {
    profile_ = &profile;
    tuningFrequency_ = tuningFrequency;
    reference_.startPass(profile, tuningFrequency);
}

void SensitiveReceiver::clean(std::span<const float> baseI, std::span<const float> baseQ, int captureTop) {
    std::copy_n(baseI.begin(), kDecimatedLength, cleanI_.begin());
    std::copy_n(baseQ.begin(), kDecimatedLength, cleanQ_.begin());
    humOn_ = hum_.process(cleanI_, cleanQ_, captureTop);
    blanked_ = blanker_.process(cleanI_, cleanQ_);
    carriers_.cancel(cleanI_, cleanQ_, blanker_.blanked());

}

SensitiveReceiver::Decisions SensitiveReceiver::decide(int captureTop, int offset, std::span<const float> timingRows,
                                                       bool tonePhase, std::span<double> slotPeaks) {
    const int n = symbolsPerBlock(*profile_);
    const auto rows = std::span<float>(rows_.data(), static_cast<std::size_t>(n * kSymbolBins));
    symbolSpectra(cleanI_, cleanQ_, offset, *profile_, rows, scratch_);
    carriers_.learn(rows, *profile_, captureTop);
    carriers_.suppressKeyed(rows, n, captureTop);

    // The strongest bin of every symbol: the S/N reading, and the decision while no grid is placed.
    Decisions d;
    d.total = 0.00001;
    double previousPeak = 0.0;
    for (int s = 0; s < n; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        float best = 0.0f;
        int bestBin = -1;
        for (int b = kCaptureBottom; b <= captureTop; ++b) {
            d.total += row[b];
            if (row[b] > best) best = row[b], bestBin = b;
        }
        if (bestBin >= 0) previousPeak = bestBin - kCaptureBottom;
        slotPeaks[static_cast<std::size_t>(s)] = previousPeak;
        d.peakSum += 4.0 * best;
    }
    // Nothing in the searched range above what rounding to 16 bits leaves: nothing to read.
    const double window = 128.0 * profile_->spacingFactor;
    const double roundingPerBin = kRayleighMean * std::sqrt(window * kRoundingPower) / (32.0 * 100.0);
    if (d.total < kSilenceMargin * roundingPerBin * n * (captureTop - kCaptureBottom + 1)) d.peakSum = 0.0;

    const bool placed = grid_.update(rows, n, captureTop, expectedFirstBin(*profile_, tuningFrequency_),
                                     profile_->sampleRate / static_cast<double>(kToneGridLength));
    std::array<double, kMaxCandidates> positions{};
    const int count = placed ? grid_.candidates(positions, captureTop) : 0;
    const auto candidates = std::span<const double>(positions.data(), static_cast<std::size_t>(count));
    // The timing is read on the wanted station's tones once its grid is placed near it (or near
    // where a station at the tuning frequency would be); a grid found only among the strongest
    // bins of the whole range reads the whole range; with no grid, near the expected place.
    const bool near = placed && grid_.placedNear();
    const int from = placed ? kCaptureBottom : grid_.nearFrom(), to = placed ? captureTop : grid_.nearTo();
    d.nextOffset = timing_.update(timingRows, offset, profile_->spacingFactor, near ? candidates : std::span<const double>{},
                                  from, to);
    if (placed) decideOnGrid(candidates, offset, tonePhase, slotPeaks);
    else reference_.reset();
    return d;
}

void SensitiveReceiver::decideOnGrid(std::span<const double> candidates, int offset, bool tonePhase, std::span<double> slotPeaks) {
    const int n = symbolsPerBlock(*profile_);
    const int k = profile_->spacingFactor;
    reference_.setGrid(grid_.first());
    for (int s = 0; s < n; ++s) {
        const float* row = rows_.data() + s * kSymbolBins;
        // Where a keyed carrier's bins were thinned out, the candidate is no stronger than what
        // was left of them.
        std::array<double, kMaxCandidates> strengths{}, caps{};
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            const double pj = candidates[i];
            const int lo = std::clamp(static_cast<int>(std::floor(pj)), 0, kSymbolBins - 2);
            const double frac = std::clamp(pj - lo, 0.0, 1.0);
            strengths[i] = (1.0 - frac) * row[lo] + frac * row[lo + 1];
            caps[i] = carriers_.keyedBin(lo) || carriers_.keyedBin(lo + 1) ? strengths[i] : -1.0;
        }
        const int start = 512 + offset + 128 * k * s;
        const auto count = candidates.size();
        const int i = decision_.decide(cleanI_, cleanQ_, start, candidates, std::span<const double>(strengths.data(), count),
                                       std::span<const double>(caps.data(), count), tonePhase, reference_);
        slotPeaks[static_cast<std::size_t>(s)] = std::nearbyint(candidates[static_cast<std::size_t>(i)]) - kCaptureBottom;
    }
}

}  // namespace vantrel::modem
