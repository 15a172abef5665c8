#include "noise_blanker.h"

#include <algorithm>

namespace vantrel::modem {
namespace {

// A burst: power this many times the window's median. Band noise gets there once in e^17 samples
// (its power is spread exponentially, the median 0.69 of the mean); our signal and other
// stations' keep a steady envelope, two of them beating at most four times their mean.
constexpr float kBurstRatio = 25.0f;
// The decimating filter spreads an impulse over 65 audio samples: four decimated samples either
// side of the burst still carry it.
constexpr int kGuard = 4;

}  // namespace

int NoiseBlanker::process(std::span<float> baseI, std::span<float> baseQ) {
    for (int m = 0; m < kDecimatedLength; ++m) {
        const auto u = static_cast<std::size_t>(m);
        power_[u] = baseI[u] * baseI[u] + baseQ[u] * baseQ[u];
    }
    // The median of the samples that hold anything: a window that begins in digital silence is
    // judged by what it holds.
    int held = 0;
    for (float p : power_)
        if (p > 0.0f) scratch_[static_cast<std::size_t>(held++)] = p;
    blanked_.fill(0);
    if (held == 0) return 0;
    std::nth_element(scratch_.begin(), scratch_.begin() + held / 2, scratch_.begin() + held);
    const float limit = kBurstRatio * scratch_[static_cast<std::size_t>(held / 2)];
    int count = 0;
    for (int m = 0; m < kDecimatedLength; ++m) {
        if (!(power_[static_cast<std::size_t>(m)] > limit)) continue;
        for (int g = std::max(0, m - kGuard); g <= std::min(kDecimatedLength - 1, m + kGuard); ++g) {
            auto& flag = blanked_[static_cast<std::size_t>(g)];
            count += flag == 0;
            flag = 1;
        }
    }
    for (int m = 0; m < kDecimatedLength; ++m) {
        if (!blanked_[static_cast<std::size_t>(m)]) continue;
        baseI[static_cast<std::size_t>(m)] = 0.0f;
        baseQ[static_cast<std::size_t>(m)] = 0.0f;
    }
    return count;
}

}  // namespace vantrel::modem
