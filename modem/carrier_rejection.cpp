#include "carrier_rejection.h"

#include <algorithm>
#include <cmath>
#include <complex>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

using Complex = std::complex<double>;

// Averages over about this many symbols: long enough to tell a carrier from our tones, which
// visit each bin about one symbol in eighteen, short enough to catch a carrier within seconds.
constexpr double kAverageWeight = 1.0 / 16.0;
// Baseband samples whose filter reach lies wholly inside the two-block window, cut into
// stretches: the phase a carrier gains from stretch to stretch gives its frequency within a
// pull range of two bins either side of where it was expected.
constexpr int kValid = kDecimatedLength - 8;
constexpr int kSegments = 16;
constexpr int kSegmentLength = kValid / kSegments;
constexpr int kSpan = kSegments * kSegmentLength;
constexpr double kCentre = (kSpan - 1) / 2.0;
// The window moves on by one block, this many decimated samples, from pass to pass.
constexpr double kPassStep = kBlockLength / kDecimation;
// A followed carrier is dropped after this many passes in a row below the noise.
constexpr int kWeakPasses = 3;
// How much of each pass's frequency error a settled track takes on, and how much of it goes
// into its drift: a carrier drifting at a steady rate is then followed without a lag.
constexpr double kFrequencyGain = 0.5;
constexpr double kDriftGain = 0.3;
// Keyed: the busy symbols of a bin follow each other more often than chance would have it (a
// positive correlation from symbol to symbol). Our own tones never follow themselves: a bin our
// text keeps busy a quarter of the time or more (a short repeating pattern) correlates at -1/3
// or below.
constexpr double kKeyedPersistence = 0.0;
constexpr std::uint8_t kKeyedPasses = 4;
// A run: a local peak this many times the noise level, seen in this many symbols in a row
// within two bins of where it was and within a factor two of its level, along a straight line
// (no symbol more than half a bin off it), is a carrier.
constexpr double kRunFloor = 3.0;
constexpr int kRunSymbols = 8;
constexpr double kRunReach = 2.0;
constexpr double kRunLevelRatio = 2.0;
constexpr double kRunStraight = 0.5;
// A strong carrier's window sidelobes are steady peaks too: a run's peak must be the strongest
// within a tone step and a half, where the first sidelobes lie.
constexpr int kRunNeighbourhood = 6;
// Oscillators warming up drift by a few hertz a second at most; a track is held to this.
constexpr double kMaxDriftHzPerS = 5.0;
// A carrier keeps its strength from piece to piece of the window, while one of our tones comes
// and goes with the symbols: seen through symbol windows that straddle the symbols (the timing
// not yet found), a text of two tones fills its two bins evenly and looks steady, but its pieces
// are on about half of the time, which gives a steadiness (squared mean over mean square of the
// piece magnitudes) of a half to two thirds.
constexpr double kSteadyStretches = 0.75;

// The bin of the symbol spectra where a baseband frequency shows: the transforms use the kernel
// e^{+j...}, so a component e^{+j 2 pi nu d} lands at bin -512 nu.
double binOf(double nu) { return -nu * kSymbolFftLength; }

Complex rotation(double cycles) { return std::polar(1.0, kTwoPi * cycles); }

// Sums of x[d] e^{-j phase(d)} over the stretches, where phase follows the track's drifting
// frequency (phase(d) = 2 pi (nu u + rate u^2 / 2), u = d - kCentre); blanked samples are left
// out and the others counted.
// Each stretch is also summed in pieces of kPieceLength samples (a quarter of a stretch, half
// a symbol at 22 baud), whose magnitudes tell a steady carrier from a tone that comes and goes.
constexpr int kPieceLength = 32;
constexpr int kPiecesPerSegment = (kSegmentLength + kPieceLength - 1) / kPieceLength;

struct Segments {
    std::array<Complex, kSegments> sum{};
    std::array<int, kSegments> count{};
    std::array<double, kSegments * kPiecesPerSegment> piece{};  // magnitude per sample summed
    int pieces = 0;
};

Segments segmentSums(std::span<const float> i, std::span<const float> q, std::span<const std::uint8_t> blanked,
                     double nu, double rate) {
    Segments out;
    const double u0 = -kCentre;
    Complex rot = rotation(-(nu * u0 + rate * u0 * u0 / 2));
    Complex step = rotation(-(nu + rate * (u0 + 0.5)));
    const Complex stepStep = rotation(-rate);
    for (int s = 0; s < kSegments; ++s) {
        double ar = 0.0, ai = 0.0, pr = 0.0, pi = 0.0;
        int count = 0, pieceCount = 0;
        for (int d = s * kSegmentLength; d < (s + 1) * kSegmentLength; ++d) {
            const auto k = static_cast<std::size_t>(d);
            if (!blanked[k]) {
                const double xr = i[k], xi = q[k];
                pr += xr * rot.real() - xi * rot.imag();
                pi += xr * rot.imag() + xi * rot.real();
                ++pieceCount;
            }
            rot *= step;
            step *= stepStep;
            if ((d + 1 - s * kSegmentLength) % kPieceLength != 0 && d + 1 < (s + 1) * kSegmentLength) continue;
            ar += pr, ai += pi, count += pieceCount;
            if (pieceCount > 0) out.piece[static_cast<std::size_t>(out.pieces++)] = std::hypot(pr, pi) / pieceCount;
            pr = pi = 0.0;
            pieceCount = 0;
        }
        rot /= std::abs(rot);
        step /= std::abs(step);
        out.sum[static_cast<std::size_t>(s)] = Complex(ar, ai);
        out.count[static_cast<std::size_t>(s)] = count;
    }
    return out;
}

bool steadyAcross(const Segments& z) {
    double mean = 0.0, square = 0.0;
    for (int p = 0; p < z.pieces; ++p) {
        const double m = z.piece[static_cast<std::size_t>(p)];
        mean += m;
        square += m * m;
    }
    return square > 0.0 && mean * mean / (z.pieces * square) >= kSteadyStretches;
}

}  // namespace

void CarrierRejection::reset() {
    tracks_ = {};
    runs_ = {};
    mean_.fill(0.0);
    meanSquare_.fill(0.0);
    meanLag_.fill(0.0);
    weight_ = 0;
    peakMean_ = 0;
    passPeak_ = 0;
    floor_ = 0;
    signalLevel_ = 0;
    keyed_.fill(0);
    previousRow_.fill(0.0f);
}

int CarrierRejection::followedCarriers() const {
    return static_cast<int>(std::count_if(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.active; }));
}

bool CarrierRejection::cancel(std::span<float> baseI, std::span<float> baseQ, std::span<const std::uint8_t> blanked) {
    if (followedCarriers() == 0) return false;
    // One after the other, each measured on what the ones before it left.
    for (Track& t : tracks_) {
        if (!t.active) continue;
        if (t.passes > 0) t.nu += t.rate * kPassStep;
        refine(t, baseI, baseQ, blanked);
    }
    return true;
}

void CarrierRejection::refine(Track& t, std::span<float> i, std::span<float> q, std::span<const std::uint8_t> blanked) {
    // Frequency error from the phase the carrier gains from stretch to stretch: first between
    // neighbouring stretches (wide pull range), then, with that taken out, between stretches
    // half a window apart (finer).
    const Segments z = segmentSums(i, q, blanked, t.nu, t.rate);
    if (!steadyAcross(z)) {
        t.active = false;
        return;
    }
    Complex lag;
    for (std::size_t s = 1; s < kSegments; ++s) lag += z.sum[s] * std::conj(z.sum[s - 1]);
    const double coarse = std::abs(lag) > 0 ? std::arg(lag) / (kTwoPi * kSegmentLength) : 0.0;
    constexpr int halfWay = kSegments / 2;
    Complex far;
    for (int s = 0; s < halfWay; ++s) {
        const Complex a = z.sum[static_cast<std::size_t>(s)] * rotation(-coarse * kSegmentLength * s);
        const Complex b = z.sum[static_cast<std::size_t>(s + halfWay)] * rotation(-coarse * kSegmentLength * (s + halfWay));
        far += b * std::conj(a);
    }
    const double fine = std::abs(far) > 0 ? std::arg(far) / (kTwoPi * kSegmentLength * halfWay) : 0.0;
    const double delta = coarse + fine;

    // Its amplitude and phase over the window at the corrected frequency, from the same sums
    // (each stretch turned back by what the correction adds over it), then subtracted.
    Complex sum;
    int count = 0;
    for (int s = 0; s < kSegments; ++s) {
        sum += z.sum[static_cast<std::size_t>(s)] * rotation(-delta * (kSegmentLength * s + (kSegmentLength - 1) / 2.0 - kCentre));
        count += z.count[static_cast<std::size_t>(s)];
    }
    const Complex c = count > 0 ? sum / static_cast<double>(count) : Complex{};
    const double nu = t.nu + delta;
    const double u0 = -kCentre;
    Complex v = c * rotation(nu * u0 + t.rate * u0 * u0 / 2);
    Complex step = rotation(nu + t.rate * (u0 + 0.5));
    const Complex stepStep = rotation(t.rate);
    for (int d = 0; d < kSpan; ++d) {
        const auto k = static_cast<std::size_t>(d);
        if (!blanked[k]) {
            i[k] -= static_cast<float>(v.real());
            q[k] -= static_cast<float>(v.imag());
        }
        v *= step;
        step *= stepStep;
    }

    ++t.passes;
    const bool settled = t.passes > 4;
    t.nu += settled ? kFrequencyGain * delta : delta;
    if (settled) t.rate = std::clamp(t.rate + kDriftGain * delta / kPassStep, -maxRate_, maxRate_);
    // In the units of the symbol spectra: a window of windowLength samples, divided by 32 and 100.
    t.level = std::abs(c) * windowLength_ / 3200.0;
    t.weak = t.level < 2.5 * floor_ ? t.weak + 1 : 0;
    const double bin = binOf(t.nu);
    if (t.weak >= kWeakPasses || bin < 0 || bin >= kSymbolBins) t.active = false;
}

bool CarrierRejection::nearTrack(double bin) const {
    return std::any_of(tracks_.begin(), tracks_.end(),
                       [bin](const Track& t) { return t.active && std::abs(binOf(t.nu) - bin) <= 4.0; });
}

void CarrierRejection::learn(std::span<const float> rows, const ModeProfile& profile, int captureTop) {
    const int symbols = symbolsPerBlock(profile);
    windowLength_ = 128 * profile.spacingFactor;
    const double basebandRate = static_cast<double>(profile.sampleRate) / kDecimation;
    maxRate_ = kMaxDriftHzPerS / (basebandRate * basebandRate);
    const int lo = kCaptureBottom;
    const int hi = std::min(captureTop, kSymbolBins - 2);
    passPeak_ = 0;
    for (int s = 0; s < symbols; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        float peak = 0.0f;
        for (int b = lo; b <= hi; ++b) peak = std::max(peak, row[b]);
        peakMean_ += kAverageWeight * (peak - peakMean_);
        passPeak_ += peak / symbols;
        if (weight_ >= 0.3 && hi - lo >= 8) followRuns(row, hi);
    }
    updateStatistics(rows, symbols);
    // A keyed carrier pauses between words: a bin stays flagged a few passes after it last
    // looked keyed.
    for (auto& k : keyed_) k = k > 0 ? static_cast<std::uint8_t>(k - 1) : std::uint8_t{0};
    // Too few symbols yet to tell a carrier from a tone. A steady carrier stands out sooner
    // than a keyed one, which needs a longer look to be told from our tones.
    if (weight_ < 0.3 || hi - lo < 8) return;
    judgeBins(lo, hi);
}

void CarrierRejection::updateStatistics(std::span<const float> rows, int symbols) {
    // Every bin, whatever the capture range.
    for (int s = 0; s < symbols; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        const float* before = s > 0 ? row - kSymbolBins : previousRow_.data();
        for (int b = 1; b < kSymbolBins - 1; ++b) {
            const auto k = static_cast<std::size_t>(b);
            const double x = row[b];
            mean_[k] += kAverageWeight * (x - mean_[k]);
            meanSquare_[k] += kAverageWeight * (x * x - meanSquare_[k]);
            meanLag_[k] += kAverageWeight * (x * before[b] - meanLag_[k]);
        }
        weight_ += kAverageWeight * (1.0 - weight_);
    }
}

void CarrierRejection::followRuns(const float* row, int hi) {
    const double threshold = kRunFloor * floor_;
    const auto isPeak = [row, hi, threshold](int b) {
        if (b < kCaptureBottom || b > hi || !(row[b] > threshold)) return false;
        for (int d = -kRunNeighbourhood; d <= kRunNeighbourhood; ++d) {
            const int c = b + d;
            if (d != 0 && c >= 0 && c < kSymbolBins && (d < 0 ? row[c] > row[b] : row[c] >= row[b])) return false;
        }
        return true;
    };
    const auto at = [row](int b) {
        const double y0 = row[b - 1], y1 = row[b], y2 = row[b + 1];
        const double denom = y0 - 2.0 * y1 + y2;
        return denom < 0.0 ? b + 0.5 * (y0 - y2) / denom : static_cast<double>(b);
    };
    for (Run& r : runs_) {
        if (!r.active) continue;
        int found = -1;
        const double was = r.bins[static_cast<std::size_t>(r.symbols - 1)];
        for (int b = static_cast<int>(std::ceil(was - kRunReach)); b <= static_cast<int>(std::floor(was + kRunReach)); ++b)
            if (isPeak(b) && (found < 0 || row[b] > row[found])) found = b;
        r.active = found >= 0 && row[found] * kRunLevelRatio >= r.level && row[found] <= kRunLevelRatio * r.level;
        if (!r.active) continue;
        r.bins[static_cast<std::size_t>(r.symbols)] = at(found);
        r.level += 0.3 * (row[found] - r.level);
        if (++r.symbols < kRunSymbols) continue;
        r.active = false;
        // A straight line through the positions: its slope is the drift.
        double mean = 0, slope = 0, spread = 0;
        for (int j = 0; j < kRunSymbols; ++j) mean += r.bins[static_cast<std::size_t>(j)] / kRunSymbols;
        for (int j = 0; j < kRunSymbols; ++j) slope += (j - (kRunSymbols - 1) / 2.0) * (r.bins[static_cast<std::size_t>(j)] - mean);
        slope /= kRunSymbols * (kRunSymbols * kRunSymbols - 1) / 12.0;
        for (int j = 0; j < kRunSymbols; ++j)
            spread = std::max(spread, std::abs(r.bins[static_cast<std::size_t>(j)] - mean - slope * (j - (kRunSymbols - 1) / 2.0)));
        const double last = mean + slope * (kRunSymbols - 1) / 2.0;
        if (spread <= kRunStraight && !nearTrack(last)) startTrack(last, slope);
    }
    for (int b = kCaptureBottom; b <= hi; ++b) {
        if (!isPeak(b)) continue;
        const bool claimed = std::any_of(runs_.begin(), runs_.end(), [b](const Run& r) {
            return r.active && std::abs(r.bins[static_cast<std::size_t>(r.symbols - 1)] - b) <= kRunReach;
        });
        const auto free = std::find_if(runs_.begin(), runs_.end(), [](const Run& r) { return !r.active; });
        if (claimed || free == runs_.end() || nearTrack(b)) continue;
        *free = Run{};
        free->active = true;
        free->bins[0] = at(b);
        free->level = row[b];
        free->symbols = 1;
    }
}

void CarrierRejection::judgeBins(int lo, int hi) {
    const auto m1 = [this](int b) { return mean_[static_cast<std::size_t>(b)] / weight_; };
    const auto m2 = [this](int b) { return meanSquare_[static_cast<std::size_t>(b)] / weight_; };
    const int count = hi - lo + 1;
    for (int b = lo; b <= hi; ++b) scratch_[static_cast<std::size_t>(b - lo)] = m1(b);
    std::nth_element(scratch_.begin(), scratch_.begin() + count / 4, scratch_.begin() + count);
    floor_ = scratch_[static_cast<std::size_t>(count / 4)];
    // This pass's own peaks count too, so that a signal just begun is not taken for a carrier.
    const double peak = std::max(peakMean_ / weight_, passPeak_);

    for (int b = lo; b <= hi; ++b) {
        const double level = m1(b);
        // Busy well above the noise and above what our tones leave in a bin on average.
        if (level - floor_ <= 0.25 * peak || level <= 2.2 * floor_ || nearTrack(b)) continue;
        const double variance = m2(b) - level * level;
        const double steadiness = level * level / std::max(m2(b), 1e-30);
        const double persistence = variance > 0 ? (meanLag_[static_cast<std::size_t>(b)] / weight_ - level * level) / variance : 1.0;
        const bool localPeak = level >= m1(b - 1) && level > m1(b + 1);
        if (steadiness > 0.9 && localPeak && level > 4.0 * floor_) {
            const double y0 = m1(b - 1), y1 = level, y2 = m1(b + 1);
            const double denom = y0 - 2.0 * y1 + y2;
            startTrack(denom < 0.0 ? b + 0.5 * (y0 - y2) / denom : b, 0.0);
        } else if (steadiness > 0.3 && weight_ >= 0.6 && persistence > kKeyedPersistence) {
            for (int d = std::max(0, b - 2); d <= std::min(kSymbolBins - 1, b + 2); ++d) keyed_[static_cast<std::size_t>(d)] = kKeyedPasses;
        }
    }
}

void CarrierRejection::startTrack(double bin, double binsPerSymbol) {
    const auto it = std::find_if(tracks_.begin(), tracks_.end(), [](const Track& t) { return !t.active; });
    if (it == tracks_.end()) return;
    *it = Track{};
    it->active = true;
    it->nu = -bin / kSymbolFftLength;
    it->rate = std::clamp(-binsPerSymbol / kSymbolFftLength / windowLength_, -maxRate_, maxRate_);
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
