#include "noise_blanker.h"

#include <algorithm>

namespace vantrel::modem {
namespace {

// A burst: power this many times the window's upper quartile. Band noise gets there once in e^17
// samples (its power is spread exponentially, the upper quartile 1.39 of the mean); our signal
// and other stations' keep a steady envelope, two of them beating at most four times their mean.
constexpr float kBurstRatio = 12.0f;
// The decimating filter spreads an impulse over 65 audio samples: four decimated samples either
// side of the burst still carry it.
constexpr int kGuard = 4;
// Crashes last a few milliseconds: no run longer than this many decimated samples (23 ms at the
// highest rate, 64 ms at the lowest) is one.
constexpr int kLongestBurst = 64;

}  // namespace

int NoiseBlanker::process(std::span<float> baseI, std::span<float> baseQ) {
    for (int m = 0; m < kDecimatedLength; ++m) {
        const auto u = static_cast<std::size_t>(m);
        power_[u] = baseI[u] * baseI[u] + baseQ[u] * baseQ[u];
    }
    // The level three quarters of the samples stay below: bursts fill far less of the window,
    // and a signal that begins after near silence (rounding, a receiver muted) more than that.
    scratch_ = power_;
    const auto quartile = scratch_.begin() + 3 * kDecimatedLength / 4;
    std::nth_element(scratch_.begin(), quartile, scratch_.end());
    const float limit = kBurstRatio * *quartile;
    blanked_.fill(0);
    if (!(limit > 0.0f)) return 0;
    // Runs of samples over the limit, each with a guard either side; a run too long for a crash
    // is something that began (a signal after silence, a station keying up) and stays.
    int count = 0;
    for (int m = 0; m < kDecimatedLength;) {
        if (!(power_[static_cast<std::size_t>(m)] > limit)) {
            ++m;
            continue;
        }
        // A dip shorter than a guard does not end a run.
        int end = m;
        for (int next = m + 1; next < kDecimatedLength && next <= end + kGuard; ++next)
            if (power_[static_cast<std::size_t>(next)] > limit) end = next;
        if (end - m + 1 <= kLongestBurst) {
            for (int g = std::max(0, m - kGuard); g <= std::min(kDecimatedLength - 1, end + kGuard); ++g) {
                auto& flag = blanked_[static_cast<std::size_t>(g)];
                count += flag == 0;
                flag = 1;
            }
        }
        m = end + 1;
    }
    for (int m = 0; m < kDecimatedLength; ++m) {
        if (!blanked_[static_cast<std::size_t>(m)]) continue;
        baseI[static_cast<std::size_t>(m)] = 0.0f;
        baseQ[static_cast<std::size_t>(m)] = 0.0f;
    }
    return count;
}

}  // namespace vantrel::modem
