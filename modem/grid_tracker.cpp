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
// Each edge compares this many of the band's outermost tone positions with the one position just
// beyond it (a station close beside fills the positions further out). A position is read as how
// far it stands above the positions half a tone step either side: the tones of a band on this
// grid stand out, noise and the skirts of another station's tones off the grid do not.
constexpr int kEdgePositions = 3;
// A band counts as a station when its edges rise this many standard deviations of band noise
// (noise energy spreads exponentially; a position less the mean of two, an edge a mean of three
// positions less one, the score the mean of two edges), the weaker edge at least half that, and
// to this share of the strongest band's edges.
constexpr double kPresenceSigmas = 8.0;
constexpr double kEdgeSpread = 1.0;
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
// A band placed in the same place this many passes in a row tells where the station is better
// than its edges do.
constexpr int kSettledPasses = 5;
// The band is looked for this many tone steps either side of where the station showed.
constexpr int kRegionSteps = 2;
// While no station shows, as far either side of where a station at the tuning frequency would
// be as an operator mistunes (a stronger station further off does not take the grid): this
// many hertz, and at least this many tone steps.
constexpr double kMistuneHz = 30.0;
constexpr int kTentativeSteps = 2;
// Near the station, the strongest bins that count against the band are those within a tone step
// of it (and the bin and a half a position reaches): a stronger station just beside the region
// does not unsettle the band.
constexpr double kReach = 1.5;
// Bands this close to a whole number of tone steps apart lie on one grid. A band of its own
// beside another on that grid holds, on its positions outside the other, about what it holds on
// the rest (less where the other's tones are stronger); a part of the other cut by the region
// holds only noise there, well under this share.
constexpr double kOffGrid = 1.0;
constexpr double kPartShare = 0.15;
// A stronger station whose band ends inside the region searched while no station is followed
// wins the strongest bin of every symbol it sends there, off our grid: its skirt then counts for
// a band a tone step too far its way, and its symbols pull the timing. It shows in each bin's
// strongest recent energy (held over about this many symbols, so that the tones a text uses
// seldom still show): its last few positions hold on average this many times what the positions
// past it on its grid hold and what a bin of the region typically holds (our own band's end, or
// a text using every other tone, holds as much a step or two further).
constexpr double kPeakHoldSymbols = 128.0;
constexpr double kBesideOver = 2.0;
// Once recognised, its end tone stays recognised while it holds this many times as much: our
// own station's tones, once they begin, hold nearly half what a much stronger station's held energy
// (the hold compresses the difference), and a text that leaves its top tones unused for a while
// lets theirs fall towards ours.
constexpr double kBesideKept = 1.25;
// Only an end tone recognised in about the same place (within this many bins) this many passes
// in a row is kept so: a station beginning beside or across our band shows an end for a pass
// while its first symbols leave its other tones unused.
constexpr int kBesideSamePlace = 2;
constexpr int kBesideEstablished = 3;
const double kPeakHoldDecay = std::exp(-1.0 / kPeakHoldSymbols);
// A tone's main lobe spans this many bins either side: the region then starts past that of the
// station's end tone.
constexpr int kMainLobe = 4;
// A station's end tone recognised beside the region is read up to this many bins off the tone,
// either way (a skirt, or a position a step in holding its skirt and ours).
constexpr int kEndMisread = 1;

// Whether a band starting at `first` lies on the grid of the band starting at `whole`, shifted
// by a tone step or more, and overlaps it.
bool partOf(double first, double whole) {
    const double apart = std::abs(first - whole);
    const double offGrid = std::abs(apart - kStep * std::nearbyint(apart / kStep));
    return apart >= kStep - kOffGrid && apart < kBandBins && offGrid <= kOffGrid;
}

}  // namespace

int GridTracker::candidates(std::span<double> positions, int captureTop) const {
    // An edge the counts do not settle yet keeps the position beyond it among the candidates;
    // where that position was not even counted, only until the band has stood in one place for
    // a few passes (a station close beside, just past the searched region, would fill it).
    const int lo = kCaptureBottom, hi = std::min(captureTop, kSymbolBins - 2);
    const double first = placement_.first;
    const bool young = placedPasses_ < kSettledPasses;
    const bool low = placement_.openLow && (placement_.countedLow || young) && first - kStep >= lo;
    const bool high = placement_.openHigh && (placement_.countedHigh || young) && first + kBandBins + kStep <= hi;
    int count = 0;
    for (int j = low ? -1 : 0; j <= kToneCount - (high ? 0 : 1); ++j) positions[static_cast<std::size_t>(count++)] = first + kStep * j;
    return count;
}

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
    // Each edge: the mean of the band's outermost positions less the position beyond, which
    // must lie within the searched range.
    const auto standsOut = [this](int p) { return at(p) - (at(p - kStep / 2) + at(p + kStep / 2)) / 2; };
    const auto edge = [&](int inside, int direction) {
        const int beyond = inside + direction * kStep;
        if (beyond < kCaptureBottom || beyond >= kSymbolBins) return 0.0;
        double in = 0;
        for (int i = 0; i < kEdgePositions; ++i) in += standsOut(inside - direction * kStep * i);
        return in / kEdgePositions - std::max(standsOut(beyond), 0.0);
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
    near_.reset();
    wide_.reset();
    nearPlaced_ = false;
    heldNear_ = false;
    placedPasses_ = 0;
    placement_ = {};
    previousRow_.fill(0.0f);
    peakHold_.fill(0.0);
    besideBelow_ = besideAbove_ = -1;
    besideBelowPasses_ = besideAbovePasses_ = 0;
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
            auto& held = peakHold_[static_cast<std::size_t>(b)];
            held = std::max(held * kPeakHoldDecay, out[b]);
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

double GridTracker::heldAt(int position) const {
    // A position lies anywhere between two bins.
    const auto at = [this](int b) { return b >= 0 && b < kSymbolBins ? peakHold_[static_cast<std::size_t>(b)] : 0.0; };
    return std::max(at(position), at(position + 1));
}

int GridTracker::stationBeside(int from, int to, int direction, double typical, int recognised) const {
    // The end tone of a station reaching into bins from..to from below (direction 1: its
    // highest tone) or from above (-1: its lowest). The strongest qualifying position is one of
    // its tones (a tone's skirt a bin or two beside may qualify too); its end tone lies a whole
    // number of steps further on that grid.
    const auto qualifies = [&](int p, double& inside, double over = kBesideOver) {
        double beyond = 0;
        inside = -1;
        for (int i = 0; i < kEdgePositions; ++i) {
            const int in = p - direction * kStep * i;
            if (in < kCaptureBottom || in + 1 >= kSymbolBins) return false;
            inside = (i == 0 ? 0.0 : inside) + heldAt(in) / kEdgePositions;
            beyond = std::max(beyond, heldAt(p + direction * kStep * (i + 1)));
        }
        return inside > 0 && inside > over * std::max(beyond, typical);
    };
    // The end tone recognised lately, still standing out: the end lies at least as far in.
    double inside = 0;
    const int kept = recognised >= from && recognised <= to && qualifies(recognised, inside, kBesideKept) ? recognised : -1;
    int found = -1;
    double strongest = 0;
    for (int p = from; p <= to; ++p)
        if (qualifies(p, inside) && inside > strongest) found = p, strongest = inside;
    if (found < 0) return kept;
    // A position reads two bins: the tone is the stronger, or lies a bin further out (a skirt
    // of it may qualify as well).
    for (int b = found - direction; b >= found - 2 * direction && b >= 0 && b < kSymbolBins; b -= direction)
        if (peakHold_[static_cast<std::size_t>(b)] > peakHold_[static_cast<std::size_t>(found)]) found = b;
    // Its tones nearer the region's middle hold about as much as this one.
    while (direction * (found + direction * kStep - (direction > 0 ? to : from)) <= 0 && qualifies(found + direction * kStep, inside) &&
           kBesideOver * peakHold_[static_cast<std::size_t>(found + direction * kStep)] >= peakHold_[static_cast<std::size_t>(found)])
        found += direction * kStep;
    // The end recognised lately lies further in, and still holds about as much as this tone: the
    // tones between have gone unused a while.
    const bool keptIn = kept >= 0 && direction * (kept - found) > 0 &&
                        kBesideOver * peakHold_[static_cast<std::size_t>(kept)] >= peakHold_[static_cast<std::size_t>(found)];
    return keptIn ? kept : found;
}

void GridTracker::clearStationsBeside(BandSearch::Region& near, bool& guardLo, bool& guardHi, double expectedFirst) {
    // What a bin of the region typically holds (our own band, or noise): a stronger station
    // beside holds more.
    const int bins = near.hi - near.lo + 1;
    std::copy_n(peakHold_.begin() + near.lo, bins, scratch_.begin());
    std::nth_element(scratch_.begin(), scratch_.begin() + bins / 2, scratch_.begin() + bins);
    const double typical = scratch_[static_cast<std::size_t>(bins / 2)];
    // Only a band ending in the room the region leaves for mistuning, beyond where a station at
    // the tuning frequency has its end tones: one reaching further overlaps the wanted band.
    const auto established = [](int at, int passes) { return passes >= kBesideEstablished ? at : -1; };
    const int below = stationBeside(near.lo, static_cast<int>(std::floor(std::min(near.firstTo - kMainLobe, expectedFirst))), 1, typical,
                                    established(besideBelow_, besideBelowPasses_));
    const int above = stationBeside(static_cast<int>(std::ceil(std::max(near.firstFrom + kMainLobe, expectedFirst) + kBandBins)), near.hi, -1,
                                    typical, established(besideAbove_, besideAbovePasses_));
    const auto track = [](int now, int& at, int& passes) {
        passes = now < 0 ? 0 : (passes > 0 && std::abs(now - at) <= kBesideSamePlace ? passes + 1 : 1);
        at = now;
    };
    track(below, besideBelow_, besideBelowPasses_);
    track(above, besideAbove_, besideAbovePasses_);
    int lo = below >= 0 ? below + 1 + kMainLobe : near.lo, hi = above >= 0 ? above - kMainLobe : near.hi;
    // A band placed before the station beside was recognised, with its end tone on (or past)
    // that station's end tone recognised for a few passes, has taken that station's tones for
    // ours: it is not kept, and the region ends just past that end tone of the band, no further
    // (the station's end may be read a bin or two off its tone: our band may start a step on).
    const bool onBelow = heldNear_ && besideBelowPasses_ >= kBesideEstablished && placement_.first <= below + kEndMisread;
    const bool onAbove = heldNear_ && besideAbovePasses_ >= kBesideEstablished && placement_.first + kBandBins >= above - kEndMisread;
    if (onBelow) lo = std::min(lo, static_cast<int>(std::floor(placement_.first)) + 2);
    if (onAbove) hi = std::max(hi, static_cast<int>(std::ceil(placement_.first + kBandBins)) - 2);
    // One placed past that end, yet within the end tone's main lobe, stays, and the region is
    // cut just outside it: left uncut, the band slides back onto the station's end tone.
    const bool pastBelow = !onBelow && heldNear_ && besideBelowPasses_ >= kBesideEstablished && placement_.first < lo;
    const bool pastAbove = !onAbove && heldNear_ && besideAbovePasses_ >= kBesideEstablished && placement_.first + kBandBins > hi;
    if (pastBelow) lo = static_cast<int>(std::floor(placement_.first)) - 1;
    if (pastAbove) hi = static_cast<int>(std::ceil(placement_.first + kBandBins)) + 1;
    // The cut must leave room for a band where the region allows one to start; a band already
    // placed near that it would leave out is kept (a station beside found late, and not yet for
    // a few passes, is less sure than the band the counts have shown).
    const bool cutsPlaced = heldNear_ && !onBelow && !onAbove && (placement_.first < lo || placement_.first + kBandBins > hi);
    if (hi - lo < kBandBins || lo > near.firstTo || hi - kBandBins < near.firstFrom || cutsPlaced) return;
    if (below >= 0) {
        near.lo = lo;
        near.firstFrom = std::max(near.firstFrom, static_cast<double>(lo));
        guardLo = false;
    }
    if (above >= 0) {
        near.hi = hi;
        near.firstTo = std::min(near.firstTo, static_cast<double>(hi - kBandBins));
        guardHi = false;
    }
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
    // A station found where a band has long been placed is that band (its edges may not show).
    const bool placedHere = placedPasses_ >= kSettledPasses && std::abs(at - placement_.first) <= kSameBand;
    if (station && !stationFollowed_ && placedHere) at = placement_.first;
    // Another station (or none): what was learnt of the band belongs to the old one.
    if (!(station && placedHere) && (station != stationFollowed_ || std::abs(at - stationAt_) > kSameBand)) {
        near_.reset();
        followedPasses_ = 0;
        heldNear_ = false;
        unplaced_ = 0;
    }
    stationFollowed_ = station;
    stationAt_ = at;
    unseen_ = 0;
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
        // Where its edges show, unless its tones have long settled on a grid: that says it
        // better, and the station is there whatever its edges show (a text using few tones
        // leaves them unclear or dark).
        if (seen >= 0 && placedPasses_ < kSettledPasses) stationAt_ = bands.at[static_cast<std::size_t>(seen)];
        unseen_ = seen >= 0 || nearPlaced_ ? 0 : unseen_ + 1;
        // A station followed stays through a fade.
        if (unseen_ <= kHoldPasses) return;
    }
    const Bands bands = findBands(recent_, lo, hi);
    // A young station not seen this pass is kept while nothing else shows.
    if (bands.count == 0 && stationFollowed_ && ++unseen_ <= kHoldPasses) return;
    if (bands.count == 0) return follow(0, false);
    double nearest = bands.at[0];
    for (int i = 1; i < bands.count; ++i)
        if (std::abs(bands.at[static_cast<std::size_t>(i)] - expectedFirst) < std::abs(nearest - expectedFirst)) nearest = bands.at[static_cast<std::size_t>(i)];
    follow(nearest, true);
}

void GridTracker::learn(int symbols) {
    for (int s = 0; s < symbols; ++s) {
        recent_.add(fresh_.data() + s * kSymbolBins, kRecentWeight);
        station_.add(fresh_.data() + s * kSymbolBins, kStationWeight);
    }
}

bool GridTracker::anotherStation(std::span<const double> fresh, int symbols, BandSearch::Region& near, bool guardLo, bool guardHi) {
    // Another station's tones on a grid of their own where the band had settled: the station
    // followed has ended and one beside it begun. What was learnt belongs to the old one; the
    // band is learnt afresh from this pass, before the old grid cuts off the new one's end tones.
    if (!heldNear_ || placedPasses_ < kSettledPasses || !near_.passOffGrid(placement_.first)) return false;
    recent_ = {};
    station_ = {};
    learn(symbols);
    near_.reset();
    near_.add(fresh, symbols, near.lo, near.hi, guardLo, guardHi);
    placedPasses_ = 0;
    // Where the new station's band starts is not known yet: anywhere in the region.
    near.firstFrom = near.lo;
    near.firstTo = near.hi - kBandBins;
    return true;
}

bool GridTracker::update(std::span<const float> rows, int symbols, int captureTop, double expectedFirst,
                         double toneSpacingHz) {
    newEnergy(rows, symbols);
    const auto fresh = std::span<const double>(fresh_.data(), static_cast<std::size_t>(symbols * kSymbolBins));
    learn(symbols);
    const int lo = kCaptureBottom, hi = std::min(captureTop, kSymbolBins - 2);
    if (hi - lo < kBandBins) return false;
    chooseStation(lo, hi, expectedFirst);
    // Near the followed station (its edges may be a tone step out), or while there is none near
    // where a station at the tuning frequency would be; failing that anywhere in the range.
    BandSearch::Region near;
    bool guardLo = true, guardHi = true;
    if (stationFollowed_) {
        const int margin = kStep * kRegionSteps + 2;
        near = {std::max(lo, static_cast<int>(std::floor(stationAt_)) - margin),
                std::min(hi, static_cast<int>(std::ceil(stationAt_)) + kBandBins + margin),
                stationAt_ - kStep - kReach, stationAt_ + kStep + kReach, kStep + kReach, true};
    } else {
        const int steps = std::max(kTentativeSteps, static_cast<int>(std::ceil(kMistuneHz / toneSpacingHz)));
        const int margin = kStep * steps + 2;
        near = {std::max(lo, static_cast<int>(std::floor(expectedFirst)) - margin),
                std::min(hi, static_cast<int>(std::ceil(expectedFirst)) + kBandBins + margin), 0, 0, -1, false};
        // A band against the region's edge may be cut by it; the wide look decides then.
        near.firstFrom = near.lo == lo ? lo : near.lo + kStep;
        near.firstTo = near.hi == hi ? hi : near.hi - kStep - kBandBins;
        clearStationsBeside(near, guardLo, guardHi, expectedFirst);
    }
    near.prefer = heldNear_ ? placement_.first : -1.0;
    nearFrom_ = near.lo;
    nearTo_ = near.hi;
    guardLo = guardLo && near.lo > lo;
    guardHi = guardHi && near.hi < hi;
    near_.add(fresh, symbols, near.lo, near.hi, guardLo, guardHi);
    const bool relearn = anotherStation(fresh, symbols, near, guardLo, guardHi);
    wide_.add(fresh, symbols, lo, hi, false, false);
    BandSearch::Placement placement;
    nearPlaced_ = near.hi - near.lo >= kBandBins && near_.place(near, placement);
    // Before any station shows, a band near the expected place that is a whole number of tone
    // steps off the band the strongest bins of the whole range show, overlapping it, and holds
    // next to nothing on its own positions outside that band, is only part of that station, cut
    // by the region (a station tuned a few steps off): the wide look decides then.
    const BandSearch::Region whole{lo, hi, static_cast<double>(lo), static_cast<double>(hi), -1, false, -1};
    BandSearch::Placement wide;
    if (nearPlaced_ && !stationFollowed_ && wide_.place(whole, wide) && partOf(placement.first, wide.first) &&
        near_.shareOutside(placement.first, wide.first - kReach, wide.first + kBandBins + kReach) < kPartShare)
        nearPlaced_ = heldNear_ = false;
    // A pass that does not show the band leaves the count as it was; one placing it elsewhere
    // starts it again.
    if (nearPlaced_) placedPasses_ = std::abs(placement.first - placement_.first) <= kStayPut ? placedPasses_ + 1 : 0;
    if (nearPlaced_) placement_ = placement;
    else if (heldNear_ && (placement_.first < near.lo || placement_.first + kBandBins > near.hi)) heldNear_ = false;
    // The station learnt afresh is where its tones are (the old one's edges are forgotten).
    if (stationFollowed_ && (placedPasses_ >= kSettledPasses || (relearn && nearPlaced_))) stationAt_ = placement_.first;
    // A grid placed near keeps through a pass or two that does not show it clearly; a station
    // whose tones never settle on a grid was no station.
    unplaced_ = nearPlaced_ ? 0 : unplaced_ + 1;
    heldNear_ = nearPlaced_ || (heldNear_ && unplaced_ <= kHoldPasses);
    if (stationFollowed_ && unplaced_ > kHoldPasses) follow(0, false);
    if (heldNear_) return true;
    return wide_.place(whole, placement_);
}

}  // namespace vantrel::modem
