#include "hum_filter.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"
#include "dsp_tables.h"

namespace vantrel::modem {
namespace {

// Bins of the long transform per bin of the symbol spectra (2048 points against 512).
constexpr int kFine = kDecimatedLength / kSymbolFftLength;
// The long transform's first bin passed whole: the lowest searched bin. Between the tuning
// frequency and there the gain rises along half a cosine; below the tuning frequency it is 0.
constexpr int kPassFrom = kFine * kCaptureBottom;
// Bins of the long transform inside the decimating filter's flat part, on either side.
constexpr int kFlat = 600;
// A steady tone gathers the whole window's energy into a bin or two; noise spreads evenly. Below
// the band, a bin this many times the band's median power holds something steady. Noise alone
// gets there once in e^70 bins.
constexpr float kSteadyRatio = 100.0f;

}  // namespace

HumFilter::HumFilter() {
    // Kernel e^{+j}: bins 0..1023 lie above the tuning frequency, 1024..2047 below it.
    for (int k = 0; k < kDecimatedLength; ++k) {
        float gain = k < kDecimatedLength / 2 ? 1.0f : 0.0f;
        if (k < kPassFrom) gain = static_cast<float>(0.5 - 0.5 * std::cos(kTwoPi / 2 * k / kPassFrom));
        mask_[static_cast<std::size_t>(k)] = gain;
    }
}

bool HumFilter::process(std::span<float> baseI, std::span<float> baseQ) {
    std::copy_n(baseI.begin(), kDecimatedLength, re_.begin());
    std::copy_n(baseQ.begin(), kDecimatedLength, im_.begin());
    fft2048(std::span<float, kDecimatedLength>(re_), std::span<float, kDecimatedLength>(im_));

    const auto power = [this](int k) {
        const auto u = static_cast<std::size_t>(k);
        return re_[u] * re_[u] + im_[u] * im_[u];
    };
    int count = 0;
    for (int k = kPassFrom; k < kFlat; ++k) scratch_[static_cast<std::size_t>(count++)] = power(k);
    std::nth_element(scratch_.begin(), scratch_.begin() + count / 2, scratch_.begin() + count);
    const float median = scratch_[static_cast<std::size_t>(count / 2)];
    float below = 0.0f;
    for (int k = kDecimatedLength - kFlat; k < kDecimatedLength; ++k) below = std::max(below, power(k));
    for (int k = 0; k < kPassFrom; ++k) below = std::max(below, power(k));
    if (!(below > kSteadyRatio * median)) return false;

    // Masked, and back through the same transform: conjugate in, conjugate out, 1/N.
    for (std::size_t k = 0; k < re_.size(); ++k) {
        re_[k] *= mask_[k];
        im_[k] *= -mask_[k];
    }
    fft2048(std::span<float, kDecimatedLength>(re_), std::span<float, kDecimatedLength>(im_));
    constexpr float scale = 1.0f / kDecimatedLength;
    for (std::size_t m = 0; m < re_.size(); ++m) {
        baseI[m] = re_[m] * scale;
        baseQ[m] = -im_[m] * scale;
    }
    return true;
}

}  // namespace vantrel::modem
