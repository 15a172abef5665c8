// Where a station's 18 tones lie within a region of the spectrum: the strongest bin of every
// symbol there is its tone. Where those bins fall modulo the four-bin tone step, averaged over
// the last few passes, gives the grid to a fraction of a bin, and the 18 grid positions holding
// the most of them are the band. Part of GridTracker; never allocates.
#pragma once

#include <array>
#include <span>

#include "mode_profile.h"

namespace vantrel::modem {

class BandSearch {
public:
    void reset();
    // One pass: rows of kSymbolBins energies (one per symbol); the strongest of bins lo..hi
    // counts, unless it lies within a few bins of an edge that cuts into the spectrum (guarded):
    // that is the skirt of something beyond, a stronger station close beside the region.
    void add(std::span<const double> rows, int symbols, int lo, int hi, bool guardLo, bool guardHi);
    // Where to look: the band lies within lo..hi with its lowest tone between firstFrom and
    // firstTo (only bands starting there are tried when `within`; otherwise the best band of
    // lo..hi must start there); of the counts within `reach` bins of it (all of lo..hi when reach
    // is negative) most must lie on it. Of bands holding as many counts, the one nearest
    // `prefer` is taken (the lowest when prefer is negative).
    struct Region {
        int lo = 0, hi = 0;
        double firstFrom = 0, firstTo = 0;
        double reach = -1;
        bool within = false;
        double prefer = -1;
    };
    // The band, if the counts agree on a grid and mostly fall on 18 of its positions: its lowest
    // tone (fractional bins), and whether the position just below or above it holds as many
    // counts as the band's outermost tone at the other end (no count yet tells them apart).
    // Whether the position beyond each end was counted at all (not in a guarded margin).
    struct Placement {
        double first = 0;
        bool openLow = false, openHigh = false;
        bool countedLow = true, countedHigh = true;
    };
    bool place(const Region& region, Placement& placement) const;
    // What the band starting at `first` holds per position on its positions outside
    // skipFrom..skipTo, over what it holds per position on all of them (0 when it holds nothing).
    double shareOutside(double first, double skipFrom, double skipTo) const;
    // Whether the last pass's counts agree on a grid of their own, well off the grid of the band
    // starting at `first`, and weigh about what a pass of the counts before them did: the tones
    // of a station other than the one counted so far.
    bool passOffGrid(double first) const;

private:
    double countsAt(double position) const;  // the counts a grid position takes

    std::array<double, kSymbolBins> occupancy_{};
    int countedLo_ = 0, countedHi_ = kSymbolBins - 1;  // where the last pass's counts were taken
    double gridRe_ = 0, gridIm_ = 0, gridWeight_ = 0;
    double passRe_ = 0, passIm_ = 0, passWeight_ = 0;  // the same, of the last pass alone
};

}  // namespace vantrel::modem
