// The frequency scale beside the waterfall: one tall pre-drawn strip per sample rate, of which
// a 239-row window that follows the tuning frequency F is shown.
// Strip rows are pixels from the top of the 27 x 1800 strip; frequencies in hertz.
#pragma once

#include <QFont>
#include <QImage>

#include <optional>

namespace vantrel::display {

inline constexpr int kScaleWidth = 27;
inline constexpr int kScaleHeight = 1800;
inline constexpr int kScaleWindowRows = 239;
inline constexpr QRgb kScaleTextColour = 0xffffff00;  // yellow

struct ScaleGeometry {
    double hzPerRow;      // sampleRate * 4 / 16000
    int startRowAtZero;   // strip row at the top of the window when F = 0
};

// None for a rate other than 8000, 11025, 16000 and 22050 Hz.
std::optional<ScaleGeometry> scaleGeometry(int sampleRate);

// nearest(K - F / hzPerRow), ties to even. Screen row 241 - r then shows strip row
// start + 238 - r, marked F + r * hzPerRow.
std::optional<int> scaleWindowStart(int sampleRate, int tuningFrequency);

// Draws ticks every 10 rows and the labels of `sampleRate` onto a 27 x 1800 black strip.
// `font` is the 7-point scale font.
void buildScaleStrip(QImage& strip, int sampleRate, const QFont& font);

// A new black strip with its ticks and labels.
QImage makeScaleStrip(int sampleRate, int logicalDpiY);

}  // namespace vantrel::display
