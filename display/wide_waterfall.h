// The signal browser's picture of the whole passband: a waterfall as wide as its window, low
// frequencies at the left and the newest rows at the top, pieced together from the spectra of
// the browser's slots (each slot shows the middle of its range, where they overlap least), and
// the strip above it with the frequency scale, the main receiver's search range and a mark with
// the call sign of every station. QImage only, so it is driven and checked without a window;
// BandView shows it. Frequencies in Hz, positions in pixels. GUI thread; addBlock never
// allocates.
#pragma once

#include <QFont>
#include <QImage>
#include <QString>

#include <array>
#include <span>
#include <vector>

#include "modem/slot_bank.h"

namespace vantrel::display {

inline constexpr int kBandStripHeight = 40;
inline constexpr int kRowsPerBlock = 4;  // each quarter of a block's symbols makes one row

// A station as the strip marks it.
struct BandMark {
    int id = 0;
    double lowHz = 0, highHz = 0;  // its lowest and highest tone
    QString call;                  // empty: not yet known
};

class WideWaterfall {
public:
    WideWaterfall();

    // The picture's size in pixels; it starts black.
    void setSize(int width, int height);
    // The speed whose slots feed it; the picture starts black.
    void setProfile(const modem::ModeProfile& profile);
    void clear();

    // kRowsPerBlock new rows at the top from the bank's last block; the picture moves down.
    void addBlock(const modem::SlotBank& bank);

    double lowHz() const { return lowHz_; }
    double highHz() const { return highHz_; }
    // Column x shows this frequency, and this is the column of a frequency (may lie outside).
    double hzAt(double x) const;
    double xOf(double hz) const;
    const QImage& picture() const { return picture_; }

private:
    void mapColumns();

    const modem::ModeProfile* profile_ = &modem::defaultProfile();
    double lowHz_ = 0, highHz_ = 0;
    QImage picture_;
    std::vector<int> columnSlot_, columnBin_;  // where each column's value comes from
    std::vector<float> row_, scratch_;
    double floor_ = 0;  // the noise level the colours are scaled from, followed slowly
    std::array<QRgb, 256> palette_{};
};

// Draws the strip above the waterfall (`strip` sets its size): scale ticks every 100 Hz with
// labels, the main receiver's search range from `rangeLowHz` to `rangeHighHz` as a yellow bar,
// and every station's band as a green bar with its call sign above it.
void drawBandStrip(QImage& strip, const WideWaterfall& waterfall, double rangeLowHz, double rangeHighHz,
                   std::span<const BandMark> marks, const QFont& font);

// The index of the mark under column x, allowing a few pixels either side; -1 when none.
int markAt(const WideWaterfall& waterfall, std::span<const BandMark> marks, double x);

}  // namespace vantrel::display
