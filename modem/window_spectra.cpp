#include "window_spectra.h"

#include <algorithm>
#include <cmath>

#include "dsp_tables.h"

namespace vantrel::modem {
namespace {

// Magnitude of transform bin b in the receiver's display unit (divided by 100).
float binMagnitude(const float* re, const float* im, int b) {
    return std::sqrt(re[b] * re[b] + im[b] * im[b]) / 100.0f;
}

// Copies `length` samples from `start` (divided by `scale`) into the first n points of the
// scratch and zeros the rest.
void load(std::span<const float> baseI, std::span<const float> baseQ, int start, int length, float scale, int n,
          FftScratch& scratch) {
    const int available = static_cast<int>(std::min(baseI.size(), baseQ.size()));
    for (int m = 0; m < n; ++m) {
        const int p = start + m;
        const bool inside = m < length && p >= 0 && p < available;
        scratch.re[static_cast<std::size_t>(m)] = inside ? baseI[static_cast<std::size_t>(p)] / scale : 0.0f;
        scratch.im[static_cast<std::size_t>(m)] = inside ? baseQ[static_cast<std::size_t>(p)] / scale : 0.0f;
    }
}

}  // namespace

void symbolSpectra(std::span<const float> baseI, std::span<const float> baseQ, int offset, const ModeProfile& profile,
                   std::span<float> rows, FftScratch& scratch) {
    const int len = 128 * profile.spacingFactor;
    std::span<float, 512> re(scratch.re);
    std::span<float, 512> im(scratch.im);
    for (int s = 0; s < symbolsPerBlock(profile); ++s) {
        load(baseI, baseQ, 512 + offset + len * s, len, 32.0f, 512, scratch);
        fft512(re, im);
        float* row = rows.data() + s * kSymbolBins;
        for (int b = 0; b < kSymbolBins; ++b) row[b] = binMagnitude(re.data(), im.data(), b);
    }
}

void timingSpectra(std::span<const float> baseI, std::span<const float> baseQ, int offset, const ModeProfile& profile,
                   std::span<float> rows, FftScratch& scratch) {
    const int k = profile.spacingFactor;
    std::span<float, 256> re(scratch.re.data(), 256);
    std::span<float, 256> im(scratch.im.data(), 256);
    for (int t = 0; t < kTimingSteps; ++t) {
        // One timing step later than the symbol windows, so that a settled loop (phase 7)
        // puts the timing windows on the symbol boundaries.
        const int start = 512 + 16 * k + offset + 16 * k * t;
        float* row = rows.data() + t * kTimingBins;
        if (start >= kDecimatedLength) {
            std::fill_n(row, kTimingBins, 0.0f);
            continue;
        }
        load(baseI, baseQ, start, 128 * k, 8.0f, 256, scratch);
        fft256(re, im);
        for (int b = 0; b < kTimingBins; ++b) row[b] = binMagnitude(re.data(), im.data(), b);
    }
}

}  // namespace vantrel::modem
