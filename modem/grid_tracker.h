// Sensitive receive's tone grid: which signal on the band is the wanted one, and where its 18
// tones lie.
//
// Which station: a station of our mode fills 18 tone positions four bins apart; over a few
// seconds every one of them is busy now and then, and the positions just outside its band never
// are. The average energy of every bin therefore shows each station as a band with a rising edge
// at its lowest tone and a falling edge past its highest. Every band found is a station, and the
// wanted one is chosen the way the operator chooses: the one nearest where a station transmitting
// at the tuning frequency puts its tones. A stronger station appearing beside it does not move
// the grid; one appearing nearer does. Once its band has settled, a pass whose tones agree on
// a grid of their own, well off the band's, is another station beginning where the followed one
// ended: the band is learnt afresh.
//
// Both read each bin's energy less what the same bin holds in the symbols either side: our
// signal never holds a tone for two symbols, so a carrier (steady, drifting or keyed, followed yet
// or not) leaves nothing there, while every station of our mode stays whole.
//
// Where its tones lie: within the chosen station's band (a few tone steps either side), the
// strongest bin of every symbol is its tone. Where those bins fall modulo the four-bin step gives
// the grid to a fraction of a bin, and the 18 grid positions holding the most of them are the
// band. While no station shows yet (a weak signal, noise), the whole capture range is read so.
// Called by SensitiveReceiver once per pass; never allocates.
#pragma once

#include <array>
#include <span>

#include "band_search.h"
#include "mode_profile.h"

namespace vantrel::modem {

class GridTracker {
public:
    void reset();

    // Learns from this pass's decision spectra (symbols rows of kSymbolBins magnitudes) and
    // places the wanted signal's grid between captureBottom and captureTop. expectedFirst is the
    // bin where tone 0 of a station transmitting at the tuning frequency lies, toneSpacingHz the
    // profile's tone spacing. Returns whether a grid is placed; first() is then the position of
    // its lowest tone (fractional bins).
    bool update(std::span<const float> rows, int symbols, int captureTop, double expectedFirst, double toneSpacingHz);
    double first() const { return placement_.first; }
    // The positions the pass's symbols are decided among (bins, ascending, four apart): the
    // band's 18 tones, and the position beyond an edge its counts have not settled yet. Returns
    // how many (at most kToneCount + 2).
    int candidates(std::span<double> positions, int captureTop) const;
    // Whether the grid was placed near the station followed, or near where a station at the
    // tuning frequency would be (not from the strongest bins of the whole range).
    bool placedNear() const { return heldNear_; }
    bool stationFollowed() const { return stationFollowed_; }
    // The bins the grid was looked for in near the station or the expected place.
    int nearFrom() const { return nearFrom_; }
    int nearTo() const { return nearTo_; }

private:
    // Bin energies averaged over recent symbols, with the weight the average has gathered.
    struct Profile {
        std::array<double, kSymbolBins> energy{};
        double weight = 0, weight2 = 0;  // sums of the symbols' weights and squared weights
        void add(const double* row, double share);
        double at(int bin) const;
        // How strongly a band starting at bin b0 stands out at its edges, in energy units (and
        // how strongly its weaker edge does).
        double edgeScore(int b0, double* weaker) const;
        // The energy over the floor its 18 positions hold, and the part outside `skipFrom` ..
        // `skipTo` (count: how many positions that is).
        double held(double b0, double floor, double skipFrom, double skipTo, int& count) const;
    };
    struct Bands;
    Bands findBands(const Profile& profile, int lo, int hi);
    static Bands stations(const Bands& peaks, const Profile& profile, double floor, double symbols);
    bool nearerStation(const Bands& bands, double expectedFirst);
    void chooseStation(int lo, int hi, double expectedFirst);
    void follow(double at, bool station);
    void newEnergy(std::span<const float> rows, int symbols);
    double heldAt(int position) const;
    int stationBeside(int from, int to, int direction, double typical, int recognised) const;
    void clearStationsBeside(BandSearch::Region& near, bool& guardLo, bool& guardHi, double expectedFirst);
    void learn(int symbols);  // adds this pass's energies to the profiles
    bool anotherStation(std::span<const double> fresh, int symbols, BandSearch::Region& near, bool guardLo, bool guardHi);

    Profile recent_, station_;
    bool stationFollowed_ = false;  // a station is followed
    double stationAt_ = 0;          // where its band showed last
    int unseen_ = 0;                // passes in a row it was not among the stations
    int followedPasses_ = 0;        // passes it has been followed
    int nearerPasses_ = 0;          // passes in a row another station stayed put nearer the expected place
    double nearerAt_ = 0;           // where it was
    // The band near the station (or the expected place) and anywhere in the range.
    BandSearch near_, wide_;
    int nearFrom_ = 0, nearTo_ = 0;
    bool nearPlaced_ = false;
    bool heldNear_ = false;  // the grid placed near lately still stands
    int placedPasses_ = 0;   // passes in a row it was placed near in the same place
    BandSearch::Placement placement_;
    std::array<double, kSymbolBins> score_{}, weaker_{}, scratch_{};
    // This pass's energies less the neighbouring symbols', and the last row of the pass before.
    std::array<double, kMaxSymbolsPerBlock * kSymbolBins> fresh_{};
    std::array<float, kSymbolBins> previousRow_{};
    // Each bin's strongest recent energy, decaying: every tone a station uses now and then.
    std::array<double, kSymbolBins> peakHold_{};
    bool havePrevious_ = false;
    // The end tones of the stronger stations recognised beside the region last pass (-1: none),
    // and for how many passes in a row about there.
    int besideBelow_ = -1, besideAbove_ = -1;
    int besideBelowPasses_ = 0, besideAbovePasses_ = 0;
    int unplaced_ = 0;  // passes in a row the band could not be placed near
};

// The bin of the symbol spectra where tone 0 of a station transmitting with the same tuning
// frequency lies.
double expectedFirstBin(const ModeProfile& profile, int tuningFrequency);

}  // namespace vantrel::modem
