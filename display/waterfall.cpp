#include "display/waterfall.h"

#include "display/frequency_scale.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace vantrel::display {

namespace {

// Every surface is a 32-bit image; anything else is left alone rather than misread.
bool writable(const QImage& image) { return !image.isNull() && image.depth() == 32; }

void putPixel(QImage& image, int x, int y, QRgb colour) {
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height()) return;
    reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
}

QRgb grey(int v) { return qRgb(v, v, v); }

double finiteOr0(double v) { return std::isfinite(v) ? v : 0.0; }

// Rounded to the nearest integer (ties to even) and held within +-limit, so that extreme input
// cannot overflow the conversion.
int nearestClamped(double v, double limit) {
    return static_cast<int>(std::clamp(std::nearbyint(finiteOr0(v)), -limit, limit));
}

}  // namespace

QFont arialFont(int points, int logicalDpiY) {
    QFont font(QStringLiteral("Arial"));
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(std::max(1, logicalDpiY * points / 72));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

QImage blackSurface(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBlack);
    return image;
}

void drawLine(QImage& image, QPoint from, QPoint to, QRgb colour) {
    if (!writable(image)) return;
    int x = from.x();
    int y = from.y();
    const int dx = std::abs(to.x() - x);
    const int dy = -std::abs(to.y() - y);
    const int sx = x < to.x() ? 1 : -1;
    const int sy = y < to.y() ? 1 : -1;
    int err = dx + dy;
    while (x != to.x() || y != to.y()) {
        putPixel(image, x, y, colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void scrollRight(QImage& image, int shift, int areaWidth) {
    if (!writable(image) || shift <= 0 || shift >= image.width()) return;
    const int count = std::min(areaWidth, image.width() - shift);
    if (count <= 0) return;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::memmove(row + shift, row, static_cast<std::size_t>(count) * sizeof(QRgb));
    }
}

void drawMarkerLine(QImage& waterfall, int y) {
    if (!writable(waterfall)) return;
    for (int row = y - 1; row <= y; ++row) {
        if (row < 0 || row >= waterfall.height()) continue;
        auto* line = reinterpret_cast<QRgb*>(waterfall.scanLine(row));
        std::fill(line, line + waterfall.width(), kMarkerColour);
    }
}

void drawTimingPanel(QImage& syncWaterfall, QImage& syncTrace,
                     std::span<const double> timingProfile, int timingPhase) {
    if (!writable(syncWaterfall) || !writable(syncTrace)) return;
    constexpr int kFirstPhase = -3;
    constexpr int kLastPhase = 18;
    constexpr int kGroups = 8;
    constexpr int kPhasesPerGroup = 16;

    for (int y = 0; y < std::min(32, syncTrace.height()); ++y) {
        auto* line = reinterpret_cast<QRgb*>(syncTrace.scanLine(y));
        std::fill(line, line + std::min(54, syncTrace.width()), kBlack);
    }

    // Phases beyond 0..15 fold in entries of the neighbouring groups; outside the profile, 0.
    std::array<double, kLastPhase - kFirstPhase + 1> sums{};
    for (int c = kFirstPhase; c <= kLastPhase; ++c) {
        double sum = 0;
        for (int g = 0; g < kGroups; ++g) {
            const int i = kPhasesPerGroup * g + c;
            if (i >= 0 && i < kTimingProfileLength && i < static_cast<int>(timingProfile.size()))
                sum += finiteOr0(timingProfile[static_cast<std::size_t>(i)]);
        }
        sums[static_cast<std::size_t>(c - kFirstPhase)] = sum;
    }
    // Only phases 1..18 set the scale; a weak profile is drawn against 200, not stretched.
    double scale = 200;
    for (int c = 1; c <= kLastPhase; ++c)
        scale = std::max(scale, std::nearbyint(sums[static_cast<std::size_t>(c - kFirstPhase)]));

    QPoint previous(0, 0);
    for (int c = kFirstPhase; c <= kLastPhase; ++c) {
        const double sum = sums[static_cast<std::size_t>(c - kFirstPhase)];
        int v = nearestClamped(sum * 32 / scale, 1000);
        const int g = std::clamp(nearestClamped(std::pow(double(v), 6) / 5000000.0, 1e9), 0, 255);
        putPixel(syncWaterfall, 0, 2 * c, qRgb(0, g, 0));
        putPixel(syncWaterfall, 0, 2 * c + 1, qRgb(0, g, 0));
        v = std::max(v, 1);
        const QPoint point(3 * (c + 2), 32 - v);
        drawLine(syncTrace, previous, point, kTraceColour);
        previous = point;
    }

    const int markerX = 3 * (std::clamp(timingPhase, -100, 100) + 2);
    drawLine(syncTrace, QPoint(markerX, 0), QPoint(markerX, 32), kSyncMarkerColour);

    scrollRight(syncWaterfall, 1, 52);
}

void fillWaterfallStrip(QImage& strip, std::span<const float> symbolSpectra) {
    if (!writable(strip)) return;
    const auto element = [&](std::size_t i) -> double {
        return i < symbolSpectra.size() ? static_cast<double>(symbolSpectra[i]) : 0.0;
    };
    const int lines = std::min(kStripLines, strip.height());
    for (int x = 0; x < std::min(kStripColumns, strip.width()); ++x) {
        const std::size_t base = static_cast<std::size_t>(kSpectrumBins) * (kStripColumns - 1 - x);
        // Bins 1..255 of the slot and, last, bin 0 of the slot after it.
        double largest = 0;
        for (std::size_t r = 1; r <= kSpectrumBins; ++r) {
            const double e = element(base + r);
            if (e > largest) largest = e;
        }
        const double normaliser =
            std::isfinite(largest) ? std::max<double>(kMinNormaliser, std::nearbyint(largest)) : 0;
        for (int r = 1; r < kStripLines; ++r) {
            double v = normaliser > 0 ? std::nearbyint(element(base + static_cast<std::size_t>(r)) *
                                                       255.0 / normaliser)
                                      : kFloorGrey;
            if (!(v >= kFloorGrey)) v = kFloorGrey;
            if (v > 255) v = 255;
            putPixel(strip, x, lines - 1 - r, grey(static_cast<int>(v)));
        }
    }
}

void addStripToWaterfall(QImage& waterfall, const QImage& strip, int captureTop,
                         int newColumns) {
    if (!writable(waterfall) || !writable(strip)) return;
    const int columns = std::min({kStripColumns, strip.width(), waterfall.width()});
    const int rows = std::min(strip.height(), waterfall.height());
    for (int y = 0; y < rows; ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(strip.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(waterfall.scanLine(y));
        std::copy(from, from + columns, to);
    }
    // Both lines span the full width every block and scroll with the picture, so a changed
    // captureTop shows at once while the old line drifts out to the right.
    const int markerBase = kWaterfallHeight;
    drawMarkerLine(waterfall, markerBase - std::clamp(captureTop, -10000, 10000));
    drawMarkerLine(waterfall, markerBase - kCaptureBottom);
    scrollRight(waterfall, std::clamp(newColumns, 0, kStripColumns), kWaterfallWidth);
}

QImage makeSyncLabel(int logicalDpiY) {
    QImage label = blackSurface(kSyncLabelWidth, kSyncHeight);
    QPainter painter(&label);
    const QFont font = arialFont(6, logicalDpiY);
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(kLabelColour));
    const int ascent = QFontMetrics(font).ascent();
    const char* letters[] = {"S", "Y", "N", "C"};
    for (int i = 0; i < 4; ++i)
        painter.drawText(QPoint(2, 8 * i + ascent), QString::fromLatin1(letters[i]));
    return label;
}

Waterfall::Waterfall(int sampleRate, int logicalDpiY)
    : logicalDpiY_(logicalDpiY),
      waterfall_(blackSurface(kWaterfallWidth, kWaterfallHeight)),
      strip_(blackSurface(kStripColumns, kStripLines)),
      syncWaterfall_(blackSurface(kSyncWidth, kSyncHeight)),
      syncTrace_(blackSurface(kSyncWidth, kSyncHeight)),
      syncLabel_(makeSyncLabel(logicalDpiY)) {
    setSampleRate(sampleRate);
}

void Waterfall::setSampleRate(int sampleRate) {
    sampleRate_ = sampleRate;
    scaleStrip_ = makeScaleStrip(sampleRate, logicalDpiY_);
}

void Waterfall::renderBlock(const BlockPicture& block) {
    renderTimingPanel(block.timingProfile, block.timingPhase);
    renderSpectra(block.symbolSpectra, block.symbolCount, block.captureTop);
}

void Waterfall::renderTimingPanel(std::span<const double> timingProfile, int timingPhase) {
    drawTimingPanel(syncWaterfall_, syncTrace_, timingProfile, timingPhase);
}

void Waterfall::renderSpectra(std::span<const float> symbolSpectra, int symbolCount,
                              int captureTop) {
    const int n = std::clamp(symbolCount, 0, kStripColumns);
    // Slots past the block's own count are all zeros, whatever the span holds beyond them.
    const auto blockSlots =
        symbolSpectra.first(std::min(symbolSpectra.size(), static_cast<std::size_t>(n) * kSpectrumBins));
    fillWaterfallStrip(strip_, blockSlots);
    addStripToWaterfall(waterfall_, strip_, captureTop, n);
    newColumns_ = n;
    ++blocksDrawn_;
}

std::optional<int> Waterfall::scaleWindowStart(int tuningFrequency) const {
    return display::scaleWindowStart(sampleRate_, tuningFrequency);
}

}  // namespace vantrel::display
