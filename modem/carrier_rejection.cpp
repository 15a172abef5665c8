#include "carrier_rejection.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace vantrel::modem {
namespace {

using Complex = std::complex<double>;

// Averages over about this many symbols: long enough to tell a carrier from our tones, which
// visit each bin about one symbol in eighteen, short enough to catch a carrier within seconds.
constexpr double kAverageWeight = 1.0 / 16.0;
// Baseband samples whose filter reach lies wholly inside the two-block window.
constexpr int kValid = kDecimatedLength - 8;
// A followed carrier is dropped after this many passes in a row below the noise.
constexpr int kWeakPasses = 3;

double twoPi() { return 8.0 * std::atan(1.0); }

// Sums of x[d] * e^{-j 2 pi nu d} over kSegments equal stretches of the first kValid samples,
// in one sweep with the rotation kept in plain doubles.
constexpr int kSegments = 8;
constexpr int kSegmentLength = kValid / kSegments;
std::array<Complex, kSegments> segmentSums(std::span<const float> i, std::span<const float> q, double nu) {
    const double w = -twoPi() * nu;
    const double sr = std::cos(w), si = std::sin(w);
    double rr = 1.0, ri = 0.0;
    std::array<Complex, kSegments> sums{};
    for (int s = 0; s < kSegments; ++s) {
        double ar = 0.0, ai = 0.0;
        for (int d = s * kSegmentLength; d < (s + 1) * kSegmentLength; ++d) {
            const double xr = i[static_cast<std::size_t>(d)], xi = q[static_cast<std::size_t>(d)];
            ar += xr * rr - xi * ri;
            ai += xr * ri + xi * rr;
            const double t = rr * sr - ri * si;
            ri = rr * si + ri * sr;
            rr = t;
        }
        const double norm = 1.0 / std::sqrt(rr * rr + ri * ri);
        rr *= norm;
        ri *= norm;
        sums[static_cast<std::size_t>(s)] = Complex(ar, ai);
    }
    return sums;
}

Complex rotation(double cycles) { return std::polar(1.0, twoPi() * cycles); }

// The bin of the symbol spectra where a baseband frequency shows: the transforms use the kernel
// e^{+j...}, so a component e^{+j 2 pi nu d} lands at bin -512 nu.
double binOf(double nu) { return -nu * kSymbolFftLength; }

}  // namespace

void CarrierRejection::reset() {
    tracks_ = {};
    mean_.fill(0.0);
    meanSquare_.fill(0.0);
    weight_ = 0;
    peakMean_ = 0;
    floor_ = 0;
    signalLevel_ = 0;
    keyed_.fill(0);
    previousRow_.fill(0.0f);
}

int CarrierRejection::followedCarriers() const {
    return static_cast<int>(std::count_if(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.active; }));
}

bool CarrierRejection::cancel(std::span<const float> baseI, std::span<const float> baseQ, std::span<float> cleanI,
                              std::span<float> cleanQ) {
    if (followedCarriers() == 0) return false;
    std::copy(baseI.begin(), baseI.end(), cleanI.begin());
    std::copy(baseQ.begin(), baseQ.end(), cleanQ.begin());
    // One after the other, each measured on what the ones before it left.
    for (Track& t : tracks_)
        if (t.active) refine(t, cleanI, cleanQ);
    return true;
}

void CarrierRejection::refine(Track& t, std::span<float> i, std::span<float> q) {
    // Frequency from the phase the carrier gains from stretch to stretch of the window: first
    // between neighbouring stretches (wide pull range), then, with that taken out, between
    // stretches half a window apart (finer). A settled track moves gently.
    const std::array<Complex, kSegments> z = segmentSums(i, q, t.nu);
    Complex lag;
    for (int s = 1; s < kSegments; ++s) lag += z[static_cast<std::size_t>(s)] * std::conj(z[static_cast<std::size_t>(s - 1)]);
    const double coarse = std::abs(lag) > 0 ? std::arg(lag) / (twoPi() * kSegmentLength) : 0.0;
    constexpr int halfWay = kSegments / 2;
    Complex far;
    for (int s = 0; s < halfWay; ++s) {
        const Complex a = z[static_cast<std::size_t>(s)] * rotation(-coarse * kSegmentLength * s);
        const Complex b = z[static_cast<std::size_t>(s + halfWay)] * rotation(-coarse * kSegmentLength * (s + halfWay));
        far += b * std::conj(a);
    }
    const double fine = std::abs(far) > 0 ? std::arg(far) / (twoPi() * kSegmentLength * halfWay) : 0.0;
    const double delta = (t.passes < 4 ? 1.0 : 0.5) * (coarse + fine);

    // Its amplitude and phase over the whole window at the corrected frequency, from the same
    // sums (each stretch turned back by what the correction adds over it), then subtracted.
    Complex sum;
    for (int s = 0; s < kSegments; ++s)
        sum += z[static_cast<std::size_t>(s)] * rotation(-delta * (kSegmentLength * s + (kSegmentLength - 1) / 2.0));
    t.nu += delta;
    const Complex c = sum / static_cast<double>(kSegments * kSegmentLength);
    const double w = twoPi() * t.nu;
    const double sr = std::cos(w), si = std::sin(w);
    double vr = c.real(), vi = c.imag();
    for (int d = 0; d < kSegments * kSegmentLength; ++d) {
        const auto k = static_cast<std::size_t>(d);
        i[k] -= static_cast<float>(vr);
        q[k] -= static_cast<float>(vi);
        const double tr = vr * sr - vi * si;
        vi = vr * si + vi * sr;
        vr = tr;
    }

    ++t.passes;
    // In the units of the symbol spectra: a window of windowLength samples, divided by 32 and 100.
    t.level = std::abs(c) * windowLength_ / 3200.0;
    t.weak = t.level < 2.5 * floor_ ? t.weak + 1 : 0;
    const double bin = binOf(t.nu);
    if (t.weak >= kWeakPasses || bin < 0 || bin >= kSymbolBins) t.active = false;
}

void CarrierRejection::learn(std::span<const float> rows, int symbols, int windowLength, int captureTop) {
    windowLength_ = windowLength;
    const int lo = kCaptureBottom;
    const int hi = std::min(captureTop, kSymbolBins - 2);
    double passPeak = 0;
    for (int s = 0; s < symbols; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        float peak = 0.0f;
        for (int b = lo - 1; b <= hi + 1; ++b) {
            const auto k = static_cast<std::size_t>(b);
            mean_[k] += kAverageWeight * (row[b] - mean_[k]);
            meanSquare_[k] += kAverageWeight * (static_cast<double>(row[b]) * row[b] - meanSquare_[k]);
            if (b >= lo && b <= hi) peak = std::max(peak, row[b]);
        }
        peakMean_ += kAverageWeight * (peak - peakMean_);
        passPeak += peak / symbols;
        weight_ += kAverageWeight * (1.0 - weight_);
    }
    keyed_.fill(0);
    // Too few symbols yet to tell a carrier from a tone. A steady carrier stands out sooner
    // than a keyed one, which needs a longer look to be told from our tones.
    if (weight_ < 0.3 || hi - lo < 8) return;
    const bool judgeKeyed = weight_ >= 0.6;

    const auto m1 = [this](int b) { return mean_[static_cast<std::size_t>(b)] / weight_; };
    const auto m2 = [this](int b) { return meanSquare_[static_cast<std::size_t>(b)] / weight_; };
    const int count = hi - lo + 1;
    for (int b = lo; b <= hi; ++b) scratch_[static_cast<std::size_t>(b - lo)] = m1(b);
    std::nth_element(scratch_.begin(), scratch_.begin() + count / 4, scratch_.begin() + count);
    floor_ = scratch_[static_cast<std::size_t>(count / 4)];
    // This pass's own peaks count too, so that a signal just begun is not taken for a carrier.
    const double peak = std::max(peakMean_ / weight_, passPeak);

    const auto nearTrack = [this](int b) {
        for (const Track& t : tracks_)
            if (t.active && std::abs(binOf(t.nu) - b) <= 4.0) return true;
        return false;
    };
    for (int b = lo; b <= hi; ++b) {
        const double level = m1(b);
        // Busy well above the noise and above what our tones leave in a bin on average.
        if (level - floor_ <= 0.25 * peak || level <= 2.2 * floor_ || nearTrack(b)) continue;
        const double steadiness = level * level / std::max(m2(b), 1e-30);
        const bool localPeak = level >= m1(b - 1) && level > m1(b + 1);
        if (steadiness > 0.9 && localPeak && level > 4.0 * floor_) {
            startTrack(b);
        } else if (steadiness > 0.3 && judgeKeyed) {
            for (int d = std::max(0, b - 2); d <= std::min(kSymbolBins - 1, b + 2); ++d) keyed_[static_cast<std::size_t>(d)] = 1;
        }
    }
}

void CarrierRejection::startTrack(int bin) {
    const auto it = std::find_if(tracks_.begin(), tracks_.end(), [](const Track& t) { return !t.active; });
    if (it == tracks_.end()) return;
    const double y0 = mean_[static_cast<std::size_t>(bin - 1)];
    const double y1 = mean_[static_cast<std::size_t>(bin)];
    const double y2 = mean_[static_cast<std::size_t>(bin + 1)];
    const double denom = y0 - 2.0 * y1 + y2;
    const double at = denom < 0.0 ? bin + 0.5 * (y0 - y2) / denom : bin;
    *it = Track{};
    it->active = true;
    it->nu = -at / kSymbolFftLength;
}

void CarrierRejection::suppressKeyed(std::span<float> rows, int symbols, int captureTop) {
    std::array<float, kSymbolBins> last{};
    std::copy_n(rows.data() + (symbols - 1) * kSymbolBins, kSymbolBins, last.begin());
    const int hi = std::min(captureTop, kSymbolBins - 1);
    // Our signal is in some bin of every symbol: where no free bin holds it, it is in a keyed one,
    // and that symbol's keyed bins are read as they are.
    std::array<float, kMaxSymbolsPerBlock> bestFree{};
    double passLevel = 0;
    for (int s = 0; s < symbols; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        float best = 0.0f;
        for (int b = kCaptureBottom; b <= hi; ++b)
            if (!keyed_[static_cast<std::size_t>(b)]) best = std::max(best, row[b]);
        bestFree[static_cast<std::size_t>(s)] = best;
        passLevel += best / symbols;
    }
    // The level rises at once with this pass, so that a signal just begun is judged by its own
    // strength, and falls slowly.
    const double level = std::max(signalLevel_, passLevel);
    std::array<bool, kMaxSymbolsPerBlock> freeHoldsSignal{};
    for (int s = 0; s < symbols; ++s) {
        freeHoldsSignal[static_cast<std::size_t>(s)] = bestFree[static_cast<std::size_t>(s)] >= 0.7 * level;
        signalLevel_ += kAverageWeight * (bestFree[static_cast<std::size_t>(s)] - signalLevel_);
    }
    for (int b = kCaptureBottom; b <= hi; ++b) {
        if (!keyed_[static_cast<std::size_t>(b)]) continue;
        std::array<float, kMaxSymbolsPerBlock + 1> orig{};
        orig[0] = previousRow_[static_cast<std::size_t>(b)];
        for (int s = 0; s < symbols; ++s) orig[static_cast<std::size_t>(s + 1)] = rows[static_cast<std::size_t>(s * kSymbolBins + b)];
        for (int s = 0; s < symbols; ++s) {
            if (!freeHoldsSignal[static_cast<std::size_t>(s)]) continue;
            const float before = orig[static_cast<std::size_t>(s)];
            const float after = s + 1 < symbols ? orig[static_cast<std::size_t>(s + 2)] : 0.0f;
            const float here = orig[static_cast<std::size_t>(s + 1)];
            rows[static_cast<std::size_t>(s * kSymbolBins + b)] = std::max(0.0f, here - std::max(before, after));
        }
    }
    previousRow_ = last;
}

}  // namespace vantrel::modem
