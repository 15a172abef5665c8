#include "symbol_timing.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// Each pass's fold adds to what the earlier passes found, weighted down by this per pass.
constexpr double kFoldMemory = 0.75;
// No window counts for more than this many times the median window: a stronger station whose
// tones fall on the grid now and then would otherwise pull the timing towards its own. Windows
// this far below the loudest hold nothing (silence before a signal) and do not count there.
constexpr float kFoldCap = 1.5f;
constexpr float kQuiet = 0.01f;
// A fold this small against the windows' mean level has no direction yet.
constexpr double kFoldNoDirection = 0.02;
// Bins of the symbol spectra per bin of the timing spectra.
constexpr int kTimingBinWidth = kSymbolFftLength / kTimingFftLength;

// Remainder with the sign of the dividend, as the timing loop has always reduced its offset.
constexpr int truncMod(int a, int m) { return a % m; }

}  // namespace

void SymbolTiming::reset() { foldZr_ = foldZi_ = foldL_ = 0.0; }

float SymbolTiming::strongest(const float* row, std::span<const double> gridBins, int lo, int hi) const {
    float best = 0.0f;
    const auto take = [&](int timingBin) {
        if (timingBin < 0 || timingBin >= kTimingBins) return;
        best = std::max(best, row[timingBin]);
    };
    if (gridBins.empty()) {
        const int top = std::min(hi / kTimingBinWidth, kTimingBins - 1);
        for (int b = (lo + 1) / kTimingBinWidth; b <= top; ++b) take(b);
        return best;
    }
    // A tone between two timing bins shows in both.
    for (double p : gridBins) {
        const double at = p / kTimingBinWidth;
        take(static_cast<int>(std::floor(at)));
        take(static_cast<int>(std::ceil(at)));
    }
    return best;
}

int SymbolTiming::update(std::span<const float> timingRows, int offset, int spacingFactor,
                         std::span<const double> gridBins, int lo, int hi) {
    const int period = 128 * spacingFactor;
    const int stepLen = 16 * spacingFactor;
    const int first = 512 + stepLen + offset;  // where the first timing window starts
    int count = first + period <= kDecimatedLength ? (kDecimatedLength - period - first) / stepLen + 1 : 0;
    count = std::min(count, kTimingSteps);
    count -= count % 8;
    if (count <= 0) return offset;

    // A stronger station's tones on the grid (their own timing) count no more than ours.
    for (int t = 0; t < count; ++t)
        best_[static_cast<std::size_t>(t)] = strongest(timingRows.data() + t * kTimingBins, gridBins, lo, hi);
    // The median of the windows that hold anything (a signal just begun after silence).
    float loudest = 0.0f;
    for (int t = 0; t < count; ++t) loudest = std::max(loudest, best_[static_cast<std::size_t>(t)]);
    int held = 0;
    for (int t = 0; t < count; ++t)
        if (best_[static_cast<std::size_t>(t)] >= kQuiet * loudest) scratch_[static_cast<std::size_t>(held++)] = best_[static_cast<std::size_t>(t)];
    std::nth_element(scratch_.begin(), scratch_.begin() + held / 2, scratch_.begin() + held);
    const float cap = kFoldCap * scratch_[static_cast<std::size_t>(held / 2)];
    double cr = 0.0, ci = 0.0, sumM = 0.0;
    for (int t = 0; t < count; ++t) {
        const float best = std::min(best_[static_cast<std::size_t>(t)], cap);
        const double angle = kTwoPi * (first + stepLen * t) / period;
        cr += best * std::cos(angle);
        ci += best * std::sin(angle);
        sumM += best;
    }
    foldZr_ = kFoldMemory * foldZr_ + cr / count;
    foldZi_ = kFoldMemory * foldZi_ + ci / count;
    foldL_ = kFoldMemory * foldL_ + sumM / count;

    if (std::hypot(foldZr_, foldZi_) < kFoldNoDirection * foldL_) return offset;
    double q = std::fmod(std::atan2(foldZi_, foldZr_) * period / kTwoPi, static_cast<double>(period));
    if (q < 0) q += period;
    double r = std::fmod(q - offset, static_cast<double>(period));
    if (r > period / 2.0) r -= period;
    if (r < -period / 2.0) r += period;
    return truncMod(offset + static_cast<int>(std::nearbyint(r)), 256 * spacingFactor);
}

}  // namespace vantrel::modem
