// Turns the tone positions of each analysis pass into symbol values, gates them with the
// squelch and splits them into primary (typed) and secondary (idle text) characters.
// decode never allocates.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

// Characters of one pass, in order. Primary ones are already filtered to 10, 13 and 32..127;
// secondary ones to 32..122.
struct DecodedChars {
    std::array<std::uint8_t, kMaxSymbolsPerBlock> primary{};
    int primaryCount = 0;
    std::array<std::uint8_t, kMaxSymbolsPerBlock> secondary{};
    int secondaryCount = 0;
    bool squelchOpen = false;

    std::span<const std::uint8_t> primaryText() const { return {primary.data(), static_cast<std::size_t>(primaryCount)}; }
    std::span<const std::uint8_t> secondaryText() const { return {secondary.data(), static_cast<std::size_t>(secondaryCount)}; }
};

class RxDecoder {
public:
    // A new speed starts a new tone history: the last pass's positions, kept at the old
    // speed's symbol count, would otherwise be read as this speed's.
    void setProfile(const ModeProfile& profile) {
        if (&profile != profile_) reset();
        profile_ = &profile;
    }
    void reset();

    // slotPeaks: this pass's strongest bins from captureBottom (symbolsPerBlock values).
    DecodedChars decode(std::span<const double> slotPeaks, int snrSmoothed, int squelchLevel);

    // The symbol values D[0..n+1] of the last pass (n = symbols per block).
    std::span<const int> symbolValues() const { return {symbolValues_.data(), static_cast<std::size_t>(symbolsPerBlock(*profile_) + 2)}; }

private:
    const ModeProfile* profile_ = &defaultProfile();
    std::array<int, 2 * kMaxSymbolsPerBlock> tonePositions_{};
    std::array<int, kMaxSymbolsPerBlock + 2> symbolValues_{};
};

// The busy lock: SEND is refused while the smoothed reading is above the squelch level.
constexpr bool channelBusy(int snrSmoothed, int squelchLevel) { return snrSmoothed > squelchLevel; }

// Squelch level from the dialog's number: rounded down, at least 1.
int squelchLevelFromEntry(double entered);

}  // namespace vantrel::modem
