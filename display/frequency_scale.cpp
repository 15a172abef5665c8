#include "display/frequency_scale.h"

#include "display/waterfall.h"

#include <QPainter>

#include <array>
#include <cmath>

namespace vantrel::display {

namespace {

// Label tops at 11025 and 22050 Hz: not evenly spaced, as the scale has always been drawn.
constexpr std::array<int, 30> kUnevenLabelRows{
    31,  68,  105, 142, 179, 216, 253, 290, 327, 362, 397, 434, 471, 508,  545,
    582, 619, 656, 693, 730, 767, 804, 841, 878, 915, 952, 989, 1026, 1063, 1100};

// Four characters: three-digit values get a leading space.
QString labelText(int hz) {
    return hz < 1000 ? QStringLiteral(" %1").arg(hz) : QString::number(hz);
}

}  // namespace

std::optional<ScaleGeometry> scaleGeometry(int sampleRate) {
    switch (sampleRate) {
    case 8000: return ScaleGeometry{2.0, 1310};
    case 11025: return ScaleGeometry{2.75625, 902};
    case 16000: return ScaleGeometry{4.0, 560};
    case 22050: return ScaleGeometry{5.5125, 350};
    default: return std::nullopt;
    }
}

std::optional<int> scaleWindowStart(int sampleRate, int tuningFrequency) {
    const auto geometry = scaleGeometry(sampleRate);
    if (!geometry) return std::nullopt;
    const double start =
        std::nearbyint(geometry->startRowAtZero - tuningFrequency / geometry->hzPerRow);
    return static_cast<int>(start);
}

void buildScaleStrip(QImage& strip, int sampleRate, const QFont& font) {
    if (strip.isNull()) return;
    QPainter painter(&strip);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(kScaleTextColour));
    painter.setBackgroundMode(Qt::TransparentMode);
    const int ascent = QFontMetrics(font).ascent();
    // Positions are the tops of the text, as the layout tables give them.
    const auto text = [&](int x, int top, const QString& s) {
        painter.drawText(QPoint(x, top + ascent), s);
    };

    for (int y = 0; y < strip.height(); y += 10) text(22, y, QStringLiteral("_"));

    switch (sampleRate) {
    case 8000:
        for (int hz = 3000; hz >= 100; hz -= 100) text(0, 39 + (3000 - hz) / 2, labelText(hz));
        text(15, 1539, QStringLiteral("0"));
        break;
    case 16000:
        for (int hz = 3000; hz >= 200; hz -= 200) text(0, 39 + (3000 - hz) / 4, labelText(hz));
        text(15, 789, QStringLiteral("0"));
        break;
    case 11025:
        for (int i = 0; i < 30; ++i) text(0, kUnevenLabelRows[std::size_t(i)], labelText(3000 - 100 * i));
        text(15, 1137, QStringLiteral("0"));
        break;
    case 22050:
        for (int i = 0; i < 15; ++i) text(0, kUnevenLabelRows[std::size_t(i)], labelText(3000 - 200 * i));
        text(0, 582, QStringLiteral("0"));
        break;
    default:
        break;
    }
}

QImage makeScaleStrip(int sampleRate, int logicalDpiY) {
    QImage strip = blackSurface(kScaleWidth, kScaleHeight);
    buildScaleStrip(strip, sampleRate, arialFont(7, logicalDpiY));
    return strip;
}

}  // namespace vantrel::display
