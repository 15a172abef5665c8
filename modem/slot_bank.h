// The signal browser's receivers: one Sensitive receive Receiver per channel slot across the
// whole audio passband, each tuned to its own frequency and fed the same captured blocks as the
// main receiver (which it never touches), and beside each the place of the signal it copies.
//
// Slots overlap so that a signal anywhere in the passband lies wholly inside the search range of
// at least one of them. Everything is made at construction; a change of speed replans the
// slots; processBlock never allocates. Frequencies in Hz, positions in bins of the symbol
// spectrum (sampleRate / 4096 Hz). One thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "mode_profile.h"
#include "receiver.h"

namespace vantrel::modem {

inline constexpr int kMaxSlots = 32;
inline constexpr int kPassbandLow = 200;    // Hz: lowest tone a slot is laid out for
inline constexpr int kPassbandHigh = 2700;  // Hz: highest, where the sample rate allows
inline constexpr int kSignalSpanBins = 4 * (kToneCount - 1);  // lowest to highest tone

struct SlotPlan {
    int count = 0;
    int stepBins = 0;                       // between neighbouring slots
    std::array<int, kMaxSlots> tuning{};    // Hz, each slot's mixer frequency
};

// The slots for a speed: tone grids centred anywhere from kPassbandLow to the top of the
// passband lie wholly within some slot's search range (bins kCaptureBottom..kMaxCaptureTop).
SlotPlan planSlots(const ModeProfile& profile);

// Tone spacing of a speed in Hz.
constexpr double toneSpacing(const ModeProfile& p) { return p.sampleRate / 1024.0; }

// The tuning frequency F at which our transmitter puts its lowest tone at `lowestToneHz`: the
// middle of the range of F that gives that tone (a station off by a fraction of a tone lands in
// between).
double tuningForLowestTone(const ModeProfile& profile, double lowestToneHz);

// Where the signal a slot copies sits, from the tones it decided while its squelch was open.
struct SlotSignal {
    bool located = false;    // a steady grid of tones stands out of what it decided
    bool contained = false;  // located, and every tone lies inside the slot's search range
    double lowestTone = 0;   // Hz, audio frequency of tone 0
    double fromMiddle = 0;   // bins from the signal's middle to the middle of the search range
    int containedSymbols = 0;  // symbols for which it has been contained without a break
    double level = 0;          // its tones' mean magnitude over the noise's, spectrum units
};

// What a slot printed in one block. When its squelch opens, the block before (heard while the
// reading was still rising) is printed too, so the characters that open a transmission, its
// call sign, are not lost to the reading's smoothing.
struct SlotChars {
    std::array<std::uint8_t, 2 * kMaxSymbolsPerBlock> primary{};
    int primaryCount = 0;
    std::array<std::uint8_t, 2 * kMaxSymbolsPerBlock> secondary{};
    int secondaryCount = 0;
    bool squelchOpen = false;

    std::span<const std::uint8_t> primaryText() const { return {primary.data(), static_cast<std::size_t>(primaryCount)}; }
    std::span<const std::uint8_t> secondaryText() const { return {secondary.data(), static_cast<std::size_t>(secondaryCount)}; }
};

class SlotBank {
public:
    SlotBank();
    ~SlotBank();
    SlotBank(const SlotBank&) = delete;
    SlotBank& operator=(const SlotBank&) = delete;

    // Replans the slots and starts every receiver afresh.
    void setProfile(const ModeProfile& profile);
    const ModeProfile& profile() const { return *profile_; }
    void reset();

    // One captured block (kBlockLength samples), through every slot's receiver.
    void processBlock(std::span<const std::int16_t> block, int squelchLevel, int squelchAttack = 1);

    int slotCount() const { return plan_.count; }
    const SlotPlan& plan() const { return plan_; }
    int slotTuning(int slot) const { return plan_.tuning[static_cast<std::size_t>(slot)]; }
    const Receiver& receiver(int slot) const { return (*slots_)[static_cast<std::size_t>(slot)].receiver; }
    // The characters of the last block.
    const SlotChars& chars(int slot) const { return (*slots_)[static_cast<std::size_t>(slot)].chars; }
    const SlotSignal& signal(int slot) const { return (*slots_)[static_cast<std::size_t>(slot)].signal; }
    long long blocks() const { return blocks_; }
    // The strongest bin of any slot's recent spectrum, in SlotSignal::level's unit.
    double loudest() const { return loudest_; }

private:
    struct Slot {
        Receiver receiver;
        SlotChars chars;
        DecodedChars before;  // everything decoded in the block before, squelch or not
        SlotSignal signal;
        std::array<double, kSymbolBins> occupancy{};  // decaying count of decided tones per bin
        double weight = 0;                            // their sum
        std::array<float, kSymbolBins> spectrum{};    // decaying sum of its symbols' spectra
    };
    // Adds the block's decided tones and spectra (while the squelch is open), then places the
    // signal they show.
    void accumulate(Slot& slot);
    void locate(Slot& slot, int tuning);
    bool quietAround(Slot& slot, double first, double last);

    const ModeProfile* profile_ = &defaultProfile();
    SlotPlan plan_;
    std::unique_ptr<std::array<Slot, kMaxSlots>> slots_;
    long long blocks_ = 0;
    double loudest_ = 0;
    std::array<float, kSymbolBins> scratch_{};
};

}  // namespace vantrel::modem
