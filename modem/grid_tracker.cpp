#include "grid_tracker.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// Tone positions lie this many bins apart.
constexpr int kStep = 4;
// The band's extent in bins, lowest tone to highest.
constexpr int kBandBins = kStep * (kToneCount - 1);
// Bin energies are averaged over about this many symbols to find a station at first: each tone
// of a band is then busy about once or twice, and a band shows within the preamble.
constexpr double kRecentWeight = 1.0 / 24.0;
// Over this many to see the stations while one is followed, steadier than the first look.
constexpr double kStationWeight = 1.0 / 48.0;
// Each edge is read from this many tone positions either side of it.
constexpr int kEdgePositions = 3;
// A band counts as a station when its edges rise this many standard deviations of band noise
// over the noise floor (noise energy spreads exponentially; an edge is the mean of two
// differences of three positions), the weaker edge at least half that, and to this share of the
// strongest band's edges.
constexpr double kPresenceSigmas = 8.0;
constexpr double kEdgeSpread = 0.577;
constexpr double kWeakerEdge = 0.5;
constexpr double kRelative = 0.05;
// A band overlapping one already taken must hold, on its tones outside it, at least this share
// of the energy it holds on all its tones: one a few steps off a station (its preamble uses every
// other tone, its edges are not yet clear) holds none there.
constexpr double kOwnShare = 0.5;
// No band counts as a station before the energies span this many symbols.
constexpr double kFewestSymbols = 8.0;
// Stations looked at per pass, at most.
constexpr int kMaxBands = 16;
// A station followed that is no longer seen is kept this many passes (a fade); one taken less
// than this many passes ago is looked for afresh.
constexpr int kHoldPasses = 4;
constexpr int kYoungPasses = 4;
// Bands within this many bins of the followed station are that station, seen more or less
// clearly.
constexpr double kSameBand = 4 * kStep + 2.0;
// Another station nearer the expected place is taken once it has stayed put (within this many
// bins) for this many passes in a row. Where it overlaps the followed band, one of its edges lies
// among the followed station's tones, whose energy comes and goes: it must then stand out at
// least this much against the followed band's own edges.
constexpr double kStayPut = 2.0;
constexpr int kNearerPasses = 3;
constexpr double kOverlapShare = 0.5;
// The band is looked for this many tone steps either side of where the station showed.
constexpr int kRegionSteps = 2;
// Strongest-bin counts and positions are kept over about the last four passes, and the band
// placed only while they agree on the grid and mostly fall on it.
constexpr double kBandMemory = 0.75;
constexpr double kGridCoherence = 0.5;
constexpr double kOnBand = 0.8;

}  // namespace

double expectedFirstBin(const ModeProfile& profile, int tuningFrequency) {
    return kStep * txBaseToneIndex(profile, tuningFrequency) - 4096.0 * tuningFrequency / profile.sampleRate;
}

void GridTracker::Profile::add(const double* row, double share) {
    for (int b = 0; b < kSymbolBins; ++b) {
        auto& e = energy[static_cast<std::size_t>(b)];
        e += share * (row[b] - e);
    }
    weight += share * (1.0 - weight);
    weight2 = (1.0 - share) * (1.0 - share) * weight2 + share * share;
}

double GridTracker::Profile::at(int bin) const {
    return bin >= 0 && bin < kSymbolBins && weight > 0 ? energy[static_cast<std::size_t>(bin)] / weight : 0.0;
}

double GridTracker::Profile::edgeScore(int b0, double* weaker) const {
    // Each edge: the mean of the band's outermost positions less that of the positions beyond,
    // as far as the spectra reach (at least two of each).
    const auto edge = [this](int inside, int direction) {
        double in = 0, out = 0;
        int ins = 0, outs = 0;
        for (int i = 0; i < kEdgePositions; ++i) {
            const int p = inside - direction * kStep * i, q = inside + direction * kStep * (i + 1);
            if (p >= 0 && p < kSymbolBins) in += at(p), ++ins;
            if (q >= 0 && q < kSymbolBins) out += at(q), ++outs;
        }
        return ins >= 2 && outs >= 2 ? in / ins - out / outs : 0.0;
    };
    // Both edges must rise; their mean says how clearly (a tone the text seldom uses can leave
    // one edge low).
    const double low = edge(b0, -1), high = edge(b0 + kBandBins, 1);
    *weaker = std::min(low, high);
    return low > 0 && high > 0 ? (low + high) / 2 : std::min(low, high);
}

double GridTracker::Profile::held(double b0, double floor, double skipFrom, double skipTo, int& count) const {
    double sum = 0;
    count = 0;
    for (int j = 0; j < kToneCount; ++j) {
        const double p = b0 + kStep * j;
        if (p >= skipFrom && p <= skipTo) continue;
        sum += at(static_cast<int>(std::lround(p))) - floor;
        ++count;
    }
    return sum;
}

void GridTracker::reset() {
    recent_ = {};
    station_ = {};
    stationFollowed_ = false;
    stationAt_ = 0;
    unseen_ = 0;
    nearerPasses_ = 0;
    nearerAt_ = 0;
    occupancy_.fill(0.0);
    gridRe_ = gridIm_ = gridWeight_ = 0;
    first_ = 0;
    previousRow_.fill(0.0f);
    havePrevious_ = false;
    unplaced_ = 0;
}

void GridTracker::newEnergy(std::span<const float> rows, int symbols) {
    for (int s = 0; s < symbols; ++s) {
        const float* row = rows.data() + s * kSymbolBins;
        const float* before = s > 0 ? row - kSymbolBins : (havePrevious_ ? previousRow_.data() : row + kSymbolBins);
        const float* after = s + 1 < symbols ? row + kSymbolBins : before;
        double* out = fresh_.data() + s * kSymbolBins;
        for (int b = 0; b < kSymbolBins; ++b) {
            const double here = static_cast<double>(row[b]) * row[b];
            const double around = std::min(static_cast<double>(before[b]) * before[b], static_cast<double>(after[b]) * after[b]);
            out[b] = std::max(0.0, here - around);
        }
    }
    std::copy_n(rows.data() + (symbols - 1) * kSymbolBins, kSymbolBins, previousRow_.begin());
    havePrevious_ = true;
}

struct GridTracker::Bands {
    int count = 0;  // bands that count as a station, strongest first
    std::array<double, kMaxBands> at{}, score{};
};

GridTracker::Bands GridTracker::findBands(const Profile& profile, int lo, int hi) {
    const int bins = hi - lo + 1;
    for (int b = lo; b <= hi; ++b) scratch_[static_cast<std::size_t>(b - lo)] = profile.at(b);
    std::nth_element(scratch_.begin(), scratch_.begin() + bins / 4, scratch_.begin() + bins);
    const double floor = scratch_[static_cast<std::size_t>(bins / 4)];
    double strongest = 0;
    for (int b0 = lo; b0 + kBandBins <= hi; ++b0)
        strongest = std::max(strongest, score_[static_cast<std::size_t>(b0)] = profile.edgeScore(b0, &weaker_[static_cast<std::size_t>(b0)]));
    const double symbols = std::max(profile.weight2 > 0 ? profile.weight * profile.weight / profile.weight2 : 0.0, 1.0);
    const double present = std::max(kPresenceSigmas * kEdgeSpread * floor / std::sqrt(symbols), kRelative * strongest);
    // Bands: scores that are local maxima within two bins and count as a station.
    Bands peaks;
    if (symbols < kFewestSymbols) return peaks;
    for (int b0 = lo; b0 + kBandBins <= hi && peaks.count < kMaxBands; ++b0) {
        const double v = score_[static_cast<std::size_t>(b0)];
        if (!(v > 0) || v < present || weaker_[static_cast<std::size_t>(b0)] < kWeakerEdge * present) continue;
        bool peak = true;
        for (int d = -2; d <= 2 && peak; ++d)
            if (d != 0 && b0 + d >= lo && b0 + d + kBandBins <= hi) peak = score_[static_cast<std::size_t>(b0 + d)] <= v;
        if (!peak) continue;
        peaks.at[static_cast<std::size_t>(peaks.count)] = b0;
        peaks.score[static_cast<std::size_t>(peaks.count++)] = v;
    }
    return stations(peaks, profile, floor, symbols);
}

GridTracker::Bands GridTracker::stations(const Bands& peaks, const Profile& profile, double floor, double symbols) {
    // Richest first; a band overlapping one already taken is a station of its own only where its
    // tones outside that band hold energy.
    std::array<double, kMaxBands> energy{};
    int count = 0;
    for (int i = 0; i < peaks.count; ++i) energy[static_cast<std::size_t>(i)] = profile.held(peaks.at[static_cast<std::size_t>(i)], floor, 1, 0, count) / kToneCount;
    Bands accepted;
    std::array<bool, kMaxBands> used{};
    for (int round = 0; round < peaks.count; ++round) {
        int pick = -1;
        for (int i = 0; i < peaks.count; ++i)
            if (!used[static_cast<std::size_t>(i)] && (pick < 0 || energy[static_cast<std::size_t>(i)] > energy[static_cast<std::size_t>(pick)])) pick = i;
        used[static_cast<std::size_t>(pick)] = true;
        const double at = peaks.at[static_cast<std::size_t>(pick)];
        bool own = true;
        for (int a = 0; a < accepted.count && own; ++a) {
            const double other = accepted.at[static_cast<std::size_t>(a)];
            const double outside = profile.held(at, floor, other - 2, other + kBandBins + 2, count);
            const double needed = std::max(kPresenceSigmas * floor / std::sqrt(symbols * std::max(count, 1)),
                                           kOwnShare * energy[static_cast<std::size_t>(pick)]);
            own = count > 0 && outside / count >= needed;
        }
        if (!own) continue;
        accepted.at[static_cast<std::size_t>(accepted.count)] = at;
        accepted.score[static_cast<std::size_t>(accepted.count++)] = peaks.score[static_cast<std::size_t>(pick)];
    }
    return accepted;
}

bool GridTracker::nearerStation(const Bands& bands, double expectedFirst) {
    // The nearest other station that is nearer the expected place than the followed one.
    double weaker = 0;
    const double own = std::max(station_.edgeScore(static_cast<int>(std::lround(stationAt_)), &weaker), 0.0);
    double found = 0, foundDistance = std::abs(stationAt_ - expectedFirst) - kStayPut;
    bool any = false;
    for (int i = 0; i < bands.count; ++i) {
        const double at = bands.at[static_cast<std::size_t>(i)];
        const double apart = std::abs(at - stationAt_);
        if (apart <= kSameBand || std::abs(at - expectedFirst) >= foundDistance) continue;
        if (apart < kBandBins + kStep && bands.score[static_cast<std::size_t>(i)] < kOverlapShare * own) continue;
        any = true;
        found = at;
        foundDistance = std::abs(at - expectedFirst);
    }
    const bool stayed = any && nearerPasses_ > 0 && std::abs(found - nearerAt_) <= kStayPut;
    nearerPasses_ = stayed ? nearerPasses_ + 1 : (any ? 1 : 0);
    nearerAt_ = found;
    return nearerPasses_ >= kNearerPasses;
}

void GridTracker::follow(double at, bool station) {
    // Another station (or none): what was learnt of the band belongs to the old one.
    if (station != stationFollowed_ || std::abs(at - stationAt_) > kSameBand) {
        occupancy_.fill(0.0);
        gridRe_ = gridIm_ = gridWeight_ = 0;
    }
    if (!station || std::abs(at - stationAt_) > kSameBand) followedPasses_ = 0;
    stationFollowed_ = station;
    stationAt_ = at;
    unseen_ = 0;
    unplaced_ = 0;
    nearerPasses_ = 0;
}

void GridTracker::chooseStation(int lo, int hi, double expectedFirst) {
    // A station just taken may have been only part of what its first symbols showed: until it
    // has been followed a few passes, it is looked for afresh like the first time.
    if (stationFollowed_ && ++followedPasses_ > kYoungPasses) {
        const Bands bands = findBands(station_, lo, hi);
        if (nearerStation(bands, expectedFirst)) return follow(nearerAt_, true);
        int seen = -1;
        for (int i = 0; i < bands.count; ++i)
            if (std::abs(bands.at[static_cast<std::size_t>(i)] - stationAt_) <= kSameBand &&
                (seen < 0 || std::abs(bands.at[static_cast<std::size_t>(i)] - stationAt_) < std::abs(bands.at[static_cast<std::size_t>(seen)] - stationAt_)))
                seen = i;
        if (seen >= 0) stationAt_ = bands.at[static_cast<std::size_t>(seen)];
        unseen_ = seen >= 0 ? 0 : unseen_ + 1;
        // A station followed stays through a fade.
        if (unseen_ <= kHoldPasses) return;
    }
    const Bands bands = findBands(recent_, lo, hi);
    if (bands.count == 0) return follow(0, false);
    double nearest = bands.at[0];
    for (int i = 1; i < bands.count; ++i)
        if (std::abs(bands.at[static_cast<std::size_t>(i)] - expectedFirst) < std::abs(nearest - expectedFirst)) nearest = bands.at[static_cast<std::size_t>(i)];
    follow(nearest, true);
}

bool GridTracker::update(std::span<const float> rows, int symbols, int captureTop, double expectedFirst) {
    newEnergy(rows, symbols);
    for (int s = 0; s < symbols; ++s) {
        recent_.add(fresh_.data() + s * kSymbolBins, kRecentWeight);
        station_.add(fresh_.data() + s * kSymbolBins, kStationWeight);
    }
    const int lo = kCaptureBottom, hi = std::min(captureTop, kSymbolBins - 2);
    if (hi - lo < kBandBins) return false;
    chooseStation(lo, hi, expectedFirst);
    if (!stationFollowed_) return placeBand(symbols, lo, hi);
    const int from = std::max(lo, static_cast<int>(std::floor(stationAt_)) - kRegionSteps * kStep - 2);
    const int to = std::min(hi, static_cast<int>(std::ceil(stationAt_)) + kBandBins + kRegionSteps * kStep + 2);
    const bool placed = placeBand(symbols, from, to);
    // A station whose tones never settle on a grid was no station.
    unplaced_ = placed ? 0 : unplaced_ + 1;
    if (unplaced_ > kHoldPasses) follow(0, false);
    return placed;
}

bool GridTracker::placeBand(int symbols, int lo, int hi) {
    // The strongest bin of every symbol within lo..hi, as counts per bin and as a phase of the
    // tone step at its interpolated position.
    for (double& o : occupancy_) o *= kBandMemory;
    gridRe_ *= kBandMemory;
    gridIm_ *= kBandMemory;
    gridWeight_ *= kBandMemory;
    for (int s = 0; s < symbols; ++s) {
        const double* row = fresh_.data() + s * kSymbolBins;
        int b = lo;
        for (int c = lo + 1; c <= hi; ++c)
            if (row[c] > row[b]) b = c;
        if (!(row[b] > 0.0)) continue;
        const double y0 = std::sqrt(row[b - 1]), y1 = std::sqrt(row[b]), y2 = std::sqrt(row[b + 1]);
        const double denom = y0 - 2.0 * y1 + y2;
        const double x = denom < 0.0 ? b + 0.5 * (y0 - y2) / denom : b;
        gridRe_ += y1 * std::cos(kTwoPi * x / kStep);
        gridIm_ += y1 * std::sin(kTwoPi * x / kStep);
        gridWeight_ += y1;
        occupancy_[static_cast<std::size_t>(b)] += 1.0;
    }
    if (!(gridWeight_ > 0) || std::hypot(gridRe_, gridIm_) < kGridCoherence * gridWeight_) return false;
    double phase = std::fmod(std::atan2(gridIm_, gridRe_) * kStep / kTwoPi, static_cast<double>(kStep));
    if (phase < 0) phase += kStep;

    // The 18 grid positions holding the most of those bins (each position taking the bins within
    // a bin and a half of it).
    std::array<double, kSymbolBins / kStep + 2> scores{};
    const int firstIndex = static_cast<int>(std::ceil((lo - phase) / kStep));
    int count = 0;
    for (double p = phase + kStep * firstIndex; p <= hi && count < static_cast<int>(scores.size()); p += kStep) {
        double score = 0.0;
        for (int b = static_cast<int>(std::ceil(p - 1.5)); b <= static_cast<int>(std::floor(p + 1.5)); ++b)
            if (b >= 0 && b < kSymbolBins) score += occupancy_[static_cast<std::size_t>(b)];
        scores[static_cast<std::size_t>(count++)] = score;
    }
    if (count < kToneCount) return false;
    double bestTotal = -1.0, inRange = 0.0;
    int bestStart = 0;
    for (int start = 0; start + kToneCount <= count; ++start) {
        double total = 0.0;
        for (int j = start; j < start + kToneCount; ++j) total += scores[static_cast<std::size_t>(j)];
        if (total > bestTotal) bestTotal = total, bestStart = start;
    }
    for (int b = lo; b <= hi; ++b) inRange += occupancy_[static_cast<std::size_t>(b)];
    if (inRange <= 0.0 || bestTotal < kOnBand * inRange) return false;
    first_ = phase + kStep * (firstIndex + bestStart);
    return true;
}

}  // namespace vantrel::modem
