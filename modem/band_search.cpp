#include "band_search.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// Tone positions lie this many bins apart.
constexpr int kStep = 4;
// Counts and positions are kept over about the last four passes.
constexpr double kMemory = 0.75;
// The band is placed only while the positions agree on the grid to this degree (the length of
// their mean as a phase of the tone step) and this share of the counts falls on it.
constexpr double kGridCoherence = 0.5;
constexpr double kOnBand = 0.8;
// Bins at a guarded edge that count for nothing: a tone's main lobe spans four bins either side.
constexpr int kGuard = 4;
// Fewer counts than this place nothing (a pass just begun, the first half of it silent).
constexpr double kFewestCounts = 3.0;
// Counts closer than this do not tell two positions apart.
constexpr double kTie = 0.5;
// An end tone holding less than this share of the band's mean count per position is seldom seen.
constexpr double kSeldom = 0.5;
// A grid position takes the counts within a bin and a half of it.
constexpr double kReach = 1.5;
// A pass's counts are another station's when they agree on a grid to this degree (a station's
// own tones do, pass after pass; noise does not), lie more than this many bins off the band's
// grid (its own tones stay within a few tenths) and weigh at least this share of an earlier
// pass's (noise between two transmissions weighs less).
constexpr double kPassCoherence = 0.8;
constexpr double kOffGrid = 0.75;
constexpr double kPassWeight = 0.7;

}  // namespace

double BandSearch::countsAt(double position) const {
    double sum = 0.0;
    for (int b = static_cast<int>(std::ceil(position - kReach)); b <= static_cast<int>(std::floor(position + kReach)); ++b)
        if (b >= 0 && b < kSymbolBins) sum += occupancy_[static_cast<std::size_t>(b)];
    return sum;
}

double BandSearch::shareOutside(double first, double skipFrom, double skipTo) const {
    double all = 0.0, outside = 0.0;
    int count = 0;
    for (int j = 0; j < kToneCount; ++j) {
        const double p = first + kStep * j;
        const double c = countsAt(p);
        all += c;
        if (p >= skipFrom && p <= skipTo) continue;
        outside += c;
        ++count;
    }
    return all > 0.0 && count > 0 ? (outside / count) / (all / kToneCount) : 0.0;
}

void BandSearch::reset() {
    occupancy_.fill(0.0);
    gridRe_ = gridIm_ = gridWeight_ = 0;
    passRe_ = passIm_ = passWeight_ = 0;
}

void BandSearch::add(std::span<const double> rows, int symbols, int lo, int hi, bool guardLo, bool guardHi) {
    countedLo_ = guardLo ? lo + kGuard : lo;
    countedHi_ = guardHi ? hi - kGuard : hi;
    for (double& o : occupancy_) o *= kMemory;
    gridRe_ *= kMemory;
    gridIm_ *= kMemory;
    gridWeight_ *= kMemory;
    passRe_ = passIm_ = passWeight_ = 0;
    for (int s = 0; s < symbols; ++s) {
        const double* row = rows.data() + s * kSymbolBins;
        int b = lo;
        for (int c = lo + 1; c <= hi; ++c)
            if (row[c] > row[b]) b = c;
        if (!(row[b] > 0.0) || (guardLo && b < lo + kGuard) || (guardHi && b > hi - kGuard)) continue;
        // Interpolated on magnitudes.
        const double y0 = std::sqrt(row[b - 1]), y1 = std::sqrt(row[b]), y2 = std::sqrt(row[b + 1]);
        const double denom = y0 - 2.0 * y1 + y2;
        const double x = denom < 0.0 ? b + 0.5 * (y0 - y2) / denom : b;
        const double re = y1 * std::cos(kTwoPi * x / kStep), im = y1 * std::sin(kTwoPi * x / kStep);
        gridRe_ += re;
        gridIm_ += im;
        gridWeight_ += y1;
        passRe_ += re;
        passIm_ += im;
        passWeight_ += y1;
        occupancy_[static_cast<std::size_t>(b)] += 1.0;
    }
}

bool BandSearch::passOffGrid(double first) const {
    const double before = (gridWeight_ - passWeight_) / kMemory * (1.0 - kMemory);
    if (!(passWeight_ > 0) || std::hypot(passRe_, passIm_) < kPassCoherence * passWeight_ || passWeight_ < kPassWeight * before)
        return false;
    // How far the pass's grid lies from the band's, within half a step either way.
    const double apart = std::remainder(std::atan2(passIm_, passRe_) * kStep / kTwoPi - first, static_cast<double>(kStep));
    return std::abs(apart) > kOffGrid;
}

bool BandSearch::place(const Region& region, Placement& placement) const {
    const int lo = region.lo, hi = region.hi;
    if (!(gridWeight_ > 0) || std::hypot(gridRe_, gridIm_) < kGridCoherence * gridWeight_) return false;
    double phase = std::fmod(std::atan2(gridIm_, gridRe_) * kStep / kTwoPi, static_cast<double>(kStep));
    if (phase < 0) phase += kStep;
    std::array<double, kSymbolBins / kStep + 2> scores{};
    const int firstIndex = static_cast<int>(std::ceil((lo - phase) / kStep));
    int count = 0;
    for (double p = phase + kStep * firstIndex; p <= hi && count < static_cast<int>(scores.size()); p += kStep)
        scores[static_cast<std::size_t>(count++)] = countsAt(p);
    if (count < kToneCount) return false;
    std::array<double, kSymbolBins / kStep + 2> totals{};
    double bestTotal = -1.0, inRange = 0.0;
    for (int start = 0; start + kToneCount <= count; ++start) {
        const double at = phase + kStep * (firstIndex + start);
        auto& total = totals[static_cast<std::size_t>(start)];
        total = -1.0;
        if (region.within && (at < region.firstFrom || at > region.firstTo)) continue;
        total = 0.0;
        for (int j = start; j < start + kToneCount; ++j) total += scores[static_cast<std::size_t>(j)];
        bestTotal = std::max(bestTotal, total);
    }
    if (bestTotal < 0) return false;
    // Bands holding as many counts (a text using a few tones fits many) are told apart by where
    // the band was: the lowest of them, or the one nearest the band placed before.
    int bestStart = -1;
    for (int start = 0; start + kToneCount <= count; ++start) {
        if (totals[static_cast<std::size_t>(start)] < bestTotal - kTie) continue;
        const double at = phase + kStep * (firstIndex + start);
        const double before = phase + kStep * (firstIndex + bestStart);
        if (bestStart < 0 || (region.prefer >= 0 && std::abs(at - region.prefer) < std::abs(before - region.prefer))) bestStart = start;
    }
    const double first = phase + kStep * (firstIndex + bestStart);
    if (first < region.firstFrom || first > region.firstTo) return false;
    const auto at = [&](int i) { return i >= 0 && i < count ? scores[static_cast<std::size_t>(i)] : -1.0; };
    placement.first = first;
    // An edge is open while the band's tone at the other end is seldom seen and the position
    // beyond holds as much: the band may be a step further that way. A position beyond that a
    // station close beside keeps busy, with the band's own end tones in use, opens nothing.
    const double seldom = kSeldom * bestTotal / kToneCount;
    const double low = at(bestStart), high = at(bestStart + kToneCount - 1);
    placement.openLow = at(bestStart - 1) >= 0 && high - at(bestStart - 1) < kTie && high < seldom;
    placement.openHigh = at(bestStart + kToneCount) >= 0 && low - at(bestStart + kToneCount) < kTie && low < seldom;
    // A position beyond in the guarded margin was not counted: it holds nothing because nothing
    // was taken there.
    placement.countedLow = first - kStep - kReach >= countedLo_;
    placement.countedHigh = first + kStep * kToneCount + kReach <= countedHi_;
    const double reach = region.reach;
    const int from = reach < 0 ? lo : std::max(lo, static_cast<int>(std::ceil(first - reach)));
    const int to = reach < 0 ? hi : std::min(hi, static_cast<int>(std::floor(first + kStep * (kToneCount - 1) + reach)));
    for (int b = from; b <= to; ++b) inRange += occupancy_[static_cast<std::size_t>(b)];
    return inRange >= kFewestCounts && bestTotal >= kOnBand * inRange;
}

}  // namespace vantrel::modem
