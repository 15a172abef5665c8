#include "slot_bank.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// Slots this many bins apart keep a signal centred within half of it from some slot's middle,
// and so every tone at least four bins inside that slot's search range.
constexpr int kSlotStepBins = 40;
constexpr double kRangeMiddle = (kCaptureBottom + kMaxCaptureTop) / 2.0;

// Each decided tone counts for less by this factor per symbol that follows (about 30 symbols).
constexpr double kDecayPerSymbol = 0.97;
// Symbols' worth of decided tones before a place is trusted, and below which it is let go.
constexpr double kLocateWeight = 12.0;
constexpr double kKeepWeight = 4.0;
// Noise scatters the decided tones; a signal puts them on one grid, four bins apart, in one
// run of 18 grid places.
constexpr double kMinGridCoherence = 0.6;
constexpr double kMinShareInSignal = 0.8;
constexpr double kHeardToneWeight = 0.5;
// End tones not yet heard: the signal's place is then known to within this many tone spacings.
constexpr int kMaxUnheardTones = 2;
// One grid place past either end tone the band must be nearer the noise than the tones' own
// level: a signal reaching out of the range (whose missing tones the receiver then decides
// among the ones it has, so that they look like one whole grid) shows its further tones there.
// For a whole signal that place is the end tone's first spectral null.
constexpr double kMaxBesideLevel = 0.5;
constexpr int kFlatBins = 160;  // the decimating filter's flat part

double binHz(const ModeProfile& p) { return p.sampleRate / 4096.0; }

void append(SlotChars& to, const DecodedChars& from) {
    for (std::uint8_t c : from.primaryText()) to.primary[static_cast<std::size_t>(to.primaryCount++)] = c;
    for (std::uint8_t c : from.secondaryText()) to.secondary[static_cast<std::size_t>(to.secondaryCount++)] = c;
}

// Where a slot's decided tones say its signal is: the grid (bins, 0..4) and the heard places.
struct GridRun {
    bool found = false;
    double grid = 0;
    int heardLow = 0, heardHigh = 0;  // lowest and highest grid place heard, counted from grid
};

GridRun findRun(const std::array<double, kSymbolBins>& occupancy, double weight) {
    // Where the grid sits: the tones' positions taken round a circle of four bins.
    std::array<double, 4> residue{};
    for (int b = 0; b < kSymbolBins; ++b) residue[static_cast<std::size_t>(b % 4)] += occupancy[static_cast<std::size_t>(b)];
    const double gr = residue[0] - residue[2];
    const double gi = residue[1] - residue[3];
    if (std::hypot(gr, gi) < kMinGridCoherence * weight) return {};
    double g = std::fmod(std::atan2(gi, gr) * 4.0 / kTwoPi, 4.0);
    if (g < 0) g += 4.0;

    // The run of 18 grid places that holds the most decided tones.
    constexpr int kPlaces = kSymbolBins / 4;
    std::array<double, kPlaces> score{};
    for (int j = 0; j < kPlaces; ++j) {
        const double pj = g + 4.0 * j;
        for (int b = static_cast<int>(std::ceil(pj - 1.5)); b <= static_cast<int>(std::floor(pj + 1.5)); ++b)
            if (b >= 0 && b < kSymbolBins) score[static_cast<std::size_t>(j)] += occupancy[static_cast<std::size_t>(b)];
    }
    double run = 0;
    for (int j = 0; j < kToneCount; ++j) run += score[static_cast<std::size_t>(j)];
    double best = run;
    int bestStart = 0;
    for (int j = kToneCount; j < kPlaces; ++j) {
        run += score[static_cast<std::size_t>(j)] - score[static_cast<std::size_t>(j - kToneCount)];
        if (run > best) {
            best = run;
            bestStart = j - kToneCount + 1;
        }
    }
    // The tones heard so far pin the run down only when they reach almost from end to end:
    // the lowest tone then lies between the highest heard less 17 places and the lowest heard.
    GridRun found{true, g, bestStart + kToneCount, bestStart - 1};
    for (int j = bestStart; j < bestStart + kToneCount; ++j) {
        if (score[static_cast<std::size_t>(j)] < kHeardToneWeight) continue;
        found.heardLow = std::min(found.heardLow, j);
        found.heardHigh = std::max(found.heardHigh, j);
    }
    if (best < kMinShareInSignal * weight || found.heardHigh - found.heardLow < kToneCount - 1 - kMaxUnheardTones) return {};
    return found;
}

}  // namespace

SlotPlan planSlots(const ModeProfile& profile) {
    SlotPlan plan;
    const double bin = binHz(profile);
    const double high = std::min<double>(kPassbandHigh, 0.45 * profile.sampleRate);
    const double halfSignal = kSignalSpanBins / 2.0 * bin;
    const double first = kPassbandLow + halfSignal;
    const double last = std::max(first, high - halfSignal);
    plan.stepBins = kSlotStepBins;
    const double step = kSlotStepBins * bin;
    plan.count = std::min(kMaxSlots, static_cast<int>(std::ceil((last - first) / step)) + 1);
    for (int k = 0; k < plan.count; ++k)
        plan.tuning[static_cast<std::size_t>(k)] = static_cast<int>(std::nearbyint(first + k * step - kRangeMiddle * bin));
    return plan;
}

double tuningForLowestTone(const ModeProfile& profile, double lowestToneHz) {
    // The transmitter's lowest tone is floor((F + 100) * txBaseScale / 1100) tone spacings up.
    const double index = lowestToneHz / toneSpacing(profile) + 0.5;
    return index * 1100.0 / profile.txBaseScale - 100.0;
}

SlotBank::SlotBank() : slots_(std::make_unique<std::array<Slot, kMaxSlots>>()) { setProfile(*profile_); }

SlotBank::~SlotBank() = default;

void SlotBank::setProfile(const ModeProfile& profile) {
    profile_ = &profile;
    plan_ = planSlots(profile);
    for (Slot& s : *slots_) s.receiver.setProfile(profile);
    reset();
}

void SlotBank::reset() {
    for (Slot& s : *slots_) {
        s.receiver.reset();
        s.chars = {};
        s.before = {};
        s.signal = {};
        s.occupancy.fill(0.0);
        s.spectrum.fill(0.0f);
        s.weight = 0;
    }
    blocks_ = 0;
    loudest_ = 0;
}

void SlotBank::processBlock(std::span<const std::int16_t> block, int squelchLevel, int squelchAttack) {
    loudest_ = 0;
    RxSettings settings;
    settings.captureTop = kMaxCaptureTop;
    settings.squelchAttack = squelchAttack;
    settings.sensitive = true;
    for (int k = 0; k < plan_.count; ++k) {
        Slot& slot = (*slots_)[static_cast<std::size_t>(k)];
        settings.tuningFrequency = plan_.tuning[static_cast<std::size_t>(k)];
        // Decoded whatever the reading, and gated here by the operator's level.
        const DecodedChars all = slot.receiver.processBlock(block, settings, 1);
        const bool open = !(squelchLevel > slot.receiver.analyzer().snrSmoothed());
        const bool opening = open && !slot.chars.squelchOpen;
        slot.chars = {};
        slot.chars.squelchOpen = open;
        if (open) {
            if (opening) append(slot.chars, slot.before);
            append(slot.chars, all);
        }
        slot.before = all;
        locate(slot, settings.tuningFrequency);
        loudest_ = std::max<double>(loudest_, *std::max_element(slot.spectrum.begin(), slot.spectrum.end()));
    }
    ++blocks_;
}

bool SlotBank::quietAround(Slot& slot, double first, double last) {
    const auto level = [&](double position) {
        return slot.spectrum[static_cast<std::size_t>(std::clamp(static_cast<int>(std::nearbyint(position)), 0, kSymbolBins - 1))];
    };
    // The noise: a low percentile of the band, which a signal fills less than half of.
    std::copy_n(slot.spectrum.begin(), kFlatBins, scratch_.begin());
    const auto fifth = scratch_.begin() + kFlatBins / 5;
    std::nth_element(scratch_.begin(), fifth, scratch_.begin() + kFlatBins);
    const double noise = *fifth;
    double tones = 0;
    int count = 0;
    for (double position = first; position <= last + 0.5; position += 4.0, ++count) tones += level(position);
    tones /= std::max(count, 1);
    slot.signal.level = tones - noise;
    const double limit = noise + kMaxBesideLevel * (tones - noise);
    return first - 4.0 >= 0 && level(first - 4.0) < limit && level(last + 4.0) < limit;
}

void SlotBank::accumulate(Slot& slot) {
    const std::span<const double> peaks = slot.receiver.analyzer().slotPeaks();
    const double decay = std::pow(kDecayPerSymbol, static_cast<double>(peaks.size()));
    for (double& o : slot.occupancy) o *= decay;
    slot.weight *= decay;
    for (float& m : slot.spectrum) m *= static_cast<float>(decay);
    if (!slot.chars.squelchOpen) return;
    const std::span<const float> rows = slot.receiver.analyzer().symbolSpectra();
    for (std::size_t i = 0; i < rows.size(); ++i) slot.spectrum[i % kSymbolBins] += rows[i];
    for (double p : peaks) {
        const double b = std::nearbyint(p) + kCaptureBottom;
        if (b < 0 || b >= kSymbolBins) continue;
        slot.occupancy[static_cast<std::size_t>(b)] += 1.0;
        slot.weight += 1.0;
    }
}

void SlotBank::locate(Slot& slot, int tuning) {
    accumulate(slot);
    SlotSignal& found = slot.signal;
    const int wasContained = found.contained ? found.containedSymbols : 0;
    const GridRun run = slot.weight < (found.located ? kKeepWeight : kLocateWeight) ? GridRun{} : findRun(slot.occupancy, slot.weight);
    if (!run.found) {
        found = {};
        return;
    }
    const double lowest = run.grid + 2.0 * (run.heardLow + run.heardHigh - (kToneCount - 1));
    found.located = true;
    found.contained = lowest >= kCaptureBottom + 1 && lowest + kSignalSpanBins <= kMaxCaptureTop - 1 &&
                      quietAround(slot, run.grid + 4.0 * run.heardLow, run.grid + 4.0 * run.heardHigh);
    found.containedSymbols = found.contained ? wasContained + symbolsPerBlock(*profile_) : 0;
    found.lowestTone = tuning + lowest * binHz(*profile_);
    found.fromMiddle = std::abs(lowest + kSignalSpanBins / 2.0 - kRangeMiddle);
}

}  // namespace vantrel::modem
