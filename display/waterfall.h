// The receive display's off-screen surfaces and the per-block drawing into them: the timing
// panel (label, history, trace), the waterfall strip with its normaliser, the capture-range
// marker lines and the scrolls. Everything here works on QImage only, so it can be driven and
// checked without a window; DisplayOverlay copies the surfaces to the screen.
//
// Coordinates are pixels of each surface, (0, 0) top-left. Called on the GUI thread only, once
// per captured block; the per-block path writes pixels in place and never allocates.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>

#include <optional>
#include <span>

namespace vantrel::display {

inline constexpr int kWaterfallWidth = 96;
inline constexpr int kWaterfallHeight = 239;
inline constexpr int kSyncWidth = 96;
inline constexpr int kSyncHeight = 32;
inline constexpr int kSyncLabelWidth = 8;
inline constexpr int kStripColumns = 8;     // symbol slots per block at most
inline constexpr int kStripLines = 239;     // scan line r shows spectrum bin r (1..238)
inline constexpr int kSpectrumBins = 256;   // magnitudes per symbol slot
inline constexpr int kTimingProfileLength = 128;
inline constexpr int kCaptureBottom = 5;    // lowest bin of the tone search, fixed
inline constexpr int kFloorGrey = 90;       // an empty spectrum is dark grey, not black
inline constexpr int kMinNormaliser = 5;    // weak noise is not stretched to white

// Drawing tools.
inline constexpr QRgb kMarkerColour = 0xffffff00;     // yellow, 2 px: capture-range markers
inline constexpr QRgb kTraceColour = 0xff00ff00;      // green, 1 px: timing trace
inline constexpr QRgb kSyncMarkerColour = 0xffff0000; // red, 1 px: chosen timing phase
inline constexpr QRgb kLabelColour = 0xffffffff;      // white: the S, Y, N, C letters
inline constexpr QRgb kBlack = 0xff000000;

// "Arial" at `points` for a screen of `logicalDpiY`: the character height is
// dpi * points / 72 pixels, truncated, as the rest of the program sizes its fonts.
QFont arialFont(int points, int logicalDpiY);

// A black surface of the given size.
QImage blackSurface(int width, int height);

// A 1-pixel line from `from` up to but not including `to`, clipped to the image.
void drawLine(QImage& image, QPoint from, QPoint to, QRgb colour);

// Shifts columns 0 .. areaWidth-1 of every row right by `shift` onto themselves; columns
// without a source keep their pixels and columns pushed past the image edge are dropped.
void scrollRight(QImage& image, int shift, int areaWidth);

// The 2-pixel capture-range marker on row y (covers rows y - 1 and y), across the full width.
void drawMarkerLine(QImage& waterfall, int y);

// Timing panel for one block: the history column (scrolled one pixel right afterwards), the
// trace of the 22 phase sums and the red marker at `timingPhase` (the phase of the pass before).
void drawTimingPanel(QImage& syncWaterfall, QImage& syncTrace,
                     std::span<const double> timingProfile, int timingPhase);

// Fills the 8-column strip: column x shows symbol slot 7 - x (latest slot at the left), each
// scaled against its own largest value (at least 5), floor grey 90. `symbolSpectra` holds the
// block's slots row after row, 256 magnitudes each; slots past its end count as all zeros.
void fillWaterfallStrip(QImage& strip, std::span<const float> symbolSpectra);

// Copies the strip into columns 0..7, draws both marker lines and scrolls right by the
// block's `newColumns` (the number of symbol slots).
void addStripToWaterfall(QImage& waterfall, const QImage& strip, int captureTop,
                         int newColumns);

// One captured block, as the receive analysis leaves it.
struct BlockPicture {
    std::span<const float> symbolSpectra;   // symbolCount rows of 256 magnitudes
    int symbolCount = 0;                    // 8 single spaced, 4 double spaced
    std::span<const double> timingProfile;  // 128 values
    int timingPhase = 0;                    // the phase chosen by the pass before
    int captureTop = 122;                   // highest bin of the tone search
};

// The long-lived receive display: surfaces, fonts and the scale strip for the current rate.
class Waterfall {
public:
    // Surfaces black, label drawn, scale strip built for `sampleRate`.
    explicit Waterfall(int sampleRate, int logicalDpiY = 96);

    // Rebuilds the frequency scale strip for a new speed.
    void setSampleRate(int sampleRate);
    int sampleRate() const { return sampleRate_; }

    // Both halves of the per-block drawing, timing panel first.
    void renderBlock(const BlockPicture& block);
    void renderTimingPanel(std::span<const double> timingProfile, int timingPhase);
    void renderSpectra(std::span<const float> symbolSpectra, int symbolCount, int captureTop);

    // Columns the last block added: the screen copy of the waterfall starts at this column.
    int newColumns() const { return newColumns_; }
    // False until the first block has been drawn; nothing is shown before.
    bool hasPicture() const { return blocksDrawn_ > 0; }
    long long blocksDrawn() const { return blocksDrawn_; }

    // First strip row of the 239-row scale window for tuning frequency F (none for a rate
    // without a scale).
    std::optional<int> scaleWindowStart(int tuningFrequency) const;

    const QImage& waterfallBitmap() const { return waterfall_; }
    const QImage& waterfallStrip() const { return strip_; }
    const QImage& syncWaterfallBitmap() const { return syncWaterfall_; }
    const QImage& syncTraceBitmap() const { return syncTrace_; }
    const QImage& syncLabelBitmap() const { return syncLabel_; }
    const QImage& scaleStrip() const { return scaleStrip_; }

private:
    int logicalDpiY_;
    int sampleRate_ = 0;
    int newColumns_ = 0;
    long long blocksDrawn_ = 0;
    QImage waterfall_;
    QImage strip_;
    QImage syncWaterfall_;
    QImage syncTrace_;
    QImage syncLabel_;
    QImage scaleStrip_;
};

// The S, Y, N, C label of the timing panel.
QImage makeSyncLabel(int logicalDpiY);

}  // namespace vantrel::display
