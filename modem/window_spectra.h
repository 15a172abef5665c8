// The magnitude spectra of one pass's symbol-long windows, shared by the standard pass and
// Sensitive receive. Positions are decimated samples of the two-block baseband; positions
// outside it read as 0. Units: the transform's magnitude divided by 100. Never allocate.
#pragma once

#include <array>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

// Scratch the transforms work in.
struct FftScratch {
    std::array<float, kSymbolFftLength> re{}, im{};
};

// One row of kSymbolBins per symbol slot: the slot's window (128 * spacingFactor samples from
// 512 + offset + that length * slot), divided by 32, zero-padded to 512.
void symbolSpectra(std::span<const float> baseI, std::span<const float> baseQ, int offset, const ModeProfile& profile,
                   std::span<float> rows, FftScratch& scratch);

// kTimingSteps rows of kTimingBins: symbol-long windows one timing step (16 * spacingFactor
// samples) apart, the first one timing step after the first symbol window, divided by 8,
// zero-padded to 256.
void timingSpectra(std::span<const float> baseI, std::span<const float> baseQ, int offset, const ModeProfile& profile,
                   std::span<float> rows, FftScratch& scratch);

}  // namespace vantrel::modem
