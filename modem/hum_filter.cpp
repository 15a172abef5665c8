#include "hum_filter.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "dsp_math.h"
#include "dsp_tables.h"

namespace vantrel::modem {
namespace {

// Bins of the long transform per bin of the symbol spectra (2048 points against 512).
constexpr int kFine = kDecimatedLength / kSymbolFftLength;
// The long transform's first bin passed whole: the lowest searched bin. Between the tuning
// frequency and there the gain rises along half a cosine; below the tuning frequency it is 0.
constexpr int kPassFrom = kFine * kCaptureBottom;
// Bins past the top searched bin still passed whole: the main lobe of a tone on that bin.
constexpr int kTopMargin = 4;
// Baseband samples whose filter reach lies wholly inside the two-block window.
constexpr int kValid = kDecimatedLength - 8;
// Bins of the long transform above the band's start inside the decimating filter's flat part:
// the noise there sets the reference level.
constexpr int kFlat = 600;
// A steady tone gathers the whole window's energy into a bin or two; noise spreads evenly. Below
// the band, a bin this many times the band's median power holds something steady. Noise alone
// gets there once in e^70 bins.
constexpr float kSteadyRatio = 100.0f;
// Tones this many times the band's median power (60 dB: a DC offset, a very loud harmonic) are
// taken out one by one before the mask, at most this many.
constexpr float kExactRatio = 1.0e6f;
constexpr int kExactTones = 4;

}  // namespace

void HumFilter::buildMask(int captureTop) {
    // Kernel e^{+j}: bins 0..1023 lie above the tuning frequency, 1024..2047 below it. The gain
    // rises along half a cosine from the tuning frequency to the lowest searched bin, stays 1 to
    // a little past the top one (a tone there keeps its main lobe) and falls the same way.
    passTo_ = std::min(kFine * (captureTop + kTopMargin), kDecimatedLength / 2 - kPassFrom);
    for (int k = 0; k < kDecimatedLength; ++k) {
        double gain = 0.0;
        if (k < kPassFrom) gain = 0.5 - 0.5 * std::cos(kTwoPi / 2 * k / kPassFrom);
        else if (k < passTo_) gain = 1.0;
        else if (k < passTo_ + kPassFrom) gain = 0.5 + 0.5 * std::cos(kTwoPi / 2 * (k - passTo_) / kPassFrom);
        mask_[static_cast<std::size_t>(k)] = static_cast<float>(gain);
    }
    maskTop_ = captureTop;
}

void HumFilter::transform(std::span<const float> baseI, std::span<const float> baseQ) {
    std::copy_n(baseI.begin(), kDecimatedLength, re_.begin());
    std::copy_n(baseQ.begin(), kDecimatedLength, im_.begin());
    fft2048(std::span<float, kDecimatedLength>(re_), std::span<float, kDecimatedLength>(im_));
}

float HumFilter::power(int k) const {
    const auto u = static_cast<std::size_t>((k + kDecimatedLength) % kDecimatedLength);
    return re_[u] * re_[u] + im_[u] * im_[u];
}

int HumFilter::strongestOutside() const {
    // Everything the decimated window holds below the band, and above it.
    int best = 0;
    for (int k = -kDecimatedLength / 2; k < kPassFrom; ++k)
        if (power(k) > power(best)) best = k;
    for (int k = passTo_ + kPassFrom; k < kDecimatedLength / 2; ++k)
        if (power(k) > power(best)) best = k;
    return best;
}

void HumFilter::subtractTone(std::span<float> baseI, std::span<float> baseQ, int k) {
    // The bin's fraction from its neighbours (the transform of a steady tone, Jacobsen's
    // estimate), refined by the turn between the window's halves; then the tone's amplitude and
    // phase over the window, and the tone taken out.
    const auto bin = [this](int b) {
        const auto u = static_cast<std::size_t>((b + kDecimatedLength) % kDecimatedLength);
        return Complex(re_[u], im_[u]);
    };
    const Complex denominator = 2.0 * bin(k) - bin(k - 1) - bin(k + 1);
    double at = k + (std::abs(denominator) > 0 ? std::real((bin(k - 1) - bin(k + 1)) / denominator) : 0.0);
    const auto halves = [&](double bins, Complex& first, Complex& second) {
        const Complex step = std::polar(1.0, kTwoPi * bins / kDecimatedLength);
        Complex turn(1.0);
        first = second = Complex{};
        for (int m = 0; m < kValid; ++m) {
            const Complex x(baseI[static_cast<std::size_t>(m)], baseQ[static_cast<std::size_t>(m)]);
            (m < kValid / 2 ? first : second) += x * turn;
            turn *= step;
        }
    };
    Complex first, second;
    halves(at, first, second);
    if (std::abs(first) > 0 && std::abs(second) > 0) {
        at -= std::arg(second * std::conj(first)) * kDecimatedLength / (kTwoPi * (kValid / 2));
        halves(at, first, second);
    }
    const Complex amplitude = (first + second) / static_cast<double>(kValid);
    const Complex step = std::polar(1.0, -kTwoPi * at / kDecimatedLength);
    Complex tone = amplitude;
    for (int m = 0; m < kDecimatedLength; ++m) {
        baseI[static_cast<std::size_t>(m)] -= static_cast<float>(tone.real());
        baseQ[static_cast<std::size_t>(m)] -= static_cast<float>(tone.imag());
        tone *= step;
    }
}

bool HumFilter::process(std::span<float> baseI, std::span<float> baseQ, int captureTop) {
    if (captureTop != maskTop_) buildMask(captureTop);
    transform(baseI, baseQ);
    int count = 0;
    for (int k = kPassFrom; k < std::min(kFlat, passTo_); ++k) scratch_[static_cast<std::size_t>(count++)] = power(k);
    if (count == 0) return false;
    std::nth_element(scratch_.begin(), scratch_.begin() + count / 2, scratch_.begin() + count);
    const float median = scratch_[static_cast<std::size_t>(count / 2)];
    if (!(power(strongestOutside()) > kSteadyRatio * median)) return false;

    // The loudest steady tones (a DC offset the mixer moved down, the strongest harmonics) go out
    // exactly: the transform's mask would leave so much energy wrapped around the window's edges
    // that it showed in the band.
    for (int n = 0; n < kExactTones; ++n) {
        const int k = strongestOutside();
        if (!(power(k) > kExactRatio * median)) break;
        subtractTone(baseI, baseQ, k);
        // The last samples are the decimating filter running out of input: the tone fades there
        // and would be left over, louder than anything in the band.
        std::fill(baseI.begin() + kValid, baseI.begin() + kDecimatedLength, 0.0f);
        std::fill(baseQ.begin() + kValid, baseQ.begin() + kDecimatedLength, 0.0f);
        transform(baseI, baseQ);
    }

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
