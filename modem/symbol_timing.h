// Sensitive receive's symbol timing. Symbol-long windows one timing step apart (the timing
// spectra) are read at the wanted signal's tones only: a window on the symbol boundaries holds
// one whole tone and stands out, one straddling two symbols holds two halves. Folding the
// strongest tone of every window onto one symbol period gives where the boundaries are, and the
// windows of the next pass are moved onto them. Energy off the wanted grid (another station,
// a carrier) therefore does not pull the timing. Bins that carrier rejection holds to be keyed
// are read like the others: a keyed carrier's edges fall anywhere against our symbols and give
// the fold no direction, while our own tones, seen through windows half a symbol off, can look
// keyed, and leaving them out would keep the timing off. Never allocates.
#pragma once

#include <array>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class SymbolTiming {
public:
    void reset();

    // timingRows: this pass's timing spectra (kTimingSteps rows of kTimingBins, from windows
    // taken at `offset`); gridBins: the wanted signal's tone positions in bins of the symbol
    // spectra, or empty to read bins lo..hi instead. Returns the offset for the next pass.
    int update(std::span<const float> timingRows, int offset, int spacingFactor, std::span<const double> gridBins,
               int lo, int hi);

private:
    float strongest(const float* row, std::span<const double> gridBins, int lo, int hi) const;

    double foldZr_ = 0, foldZi_ = 0, foldL_ = 0;
    std::array<float, kTimingSteps> best_{}, scratch_{};  // each window's strongest tone
};

}  // namespace vantrel::modem
