#include "display/wide_waterfall.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vantrel::display {
namespace {

// The picture spans the slots' passband with a little room either side.
constexpr double kMarginHz = 100;
// Colours run over this many dB above the noise.
constexpr double kShownDb = 26;
constexpr double kBelowNoiseDb = 3;
constexpr int kMarkSlackPixels = 4;

QRgb blend(QRgb a, QRgb b, double t) {
    const auto mix = [t](int x, int y) { return static_cast<int>(std::lround(x + (y - x) * t)); };
    return qRgb(mix(qRed(a), qRed(b)), mix(qGreen(a), qGreen(b)), mix(qBlue(a), qBlue(b)));
}

// Dark blue noise, through blue and cyan to yellow and white for the strongest tones.
std::array<QRgb, 256> makePalette() {
    constexpr std::array<std::pair<double, QRgb>, 5> stops{{
        {0.0, qRgb(0, 0, 24)}, {0.35, qRgb(0, 48, 190)}, {0.6, qRgb(0, 190, 210)}, {0.82, qRgb(250, 220, 0)}, {1.0, qRgb(255, 255, 240)},
    }};
    std::array<QRgb, 256> palette{};
    for (int i = 0; i < 256; ++i) {
        const double t = i / 255.0;
        std::size_t k = 1;
        while (k + 1 < stops.size() && stops[k].first < t) ++k;
        const double span = stops[k].first - stops[k - 1].first;
        palette[static_cast<std::size_t>(i)] = blend(stops[k - 1].second, stops[k].second, (t - stops[k - 1].first) / span);
    }
    return palette;
}

}  // namespace

WideWaterfall::WideWaterfall() : palette_(makePalette()) {
    setProfile(*profile_);
    setSize(600, 200);
}

void WideWaterfall::setSize(int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, kRowsPerBlock);
    picture_ = QImage(width, height, QImage::Format_RGB32);
    row_.assign(static_cast<std::size_t>(width), 0.0f);
    scratch_.assign(static_cast<std::size_t>(width), 0.0f);
    mapColumns();
    clear();
}

void WideWaterfall::setProfile(const modem::ModeProfile& profile) {
    profile_ = &profile;
    lowHz_ = modem::kPassbandLow - kMarginHz;
    highHz_ = modem::kPassbandHigh + kMarginHz;
    mapColumns();
    clear();
}

void WideWaterfall::clear() {
    picture_.fill(palette_[0]);
    floor_ = 0;
}

double WideWaterfall::hzAt(double x) const {
    return lowHz_ + (x + 0.5) * (highHz_ - lowHz_) / std::max(picture_.width(), 1);
}

double WideWaterfall::xOf(double hz) const {
    return (hz - lowHz_) * std::max(picture_.width(), 1) / (highHz_ - lowHz_) - 0.5;
}

void WideWaterfall::mapColumns() {
    const modem::SlotPlan plan = modem::planSlots(*profile_);
    const double bin = profile_->sampleRate / 4096.0;
    const double middle = (modem::kCaptureBottom + modem::kMaxCaptureTop) / 2.0;
    const auto width = static_cast<std::size_t>(std::max(picture_.width(), 1));
    columnSlot_.assign(width, 0);
    columnBin_.assign(width, 0);
    if (plan.count == 0) return;
    const double firstMiddle = plan.tuning[0] + middle * bin;
    for (std::size_t x = 0; x < width; ++x) {
        const double hz = hzAt(static_cast<double>(x));
        // The slot whose middle is nearest shows it: the one it is best inside.
        const int k = std::clamp(static_cast<int>(std::lround((hz - firstMiddle) / (plan.stepBins * bin))), 0, plan.count - 1);
        columnSlot_[x] = k;
        columnBin_[x] = std::clamp(static_cast<int>(std::lround((hz - plan.tuning[static_cast<std::size_t>(k)]) / bin)), 1,
                                   modem::kSymbolBins - 1);
    }
}

void WideWaterfall::addBlock(const modem::SlotBank& bank) {
    if (&bank.profile() != profile_) setProfile(bank.profile());
    const int width = picture_.width();
    const int height = picture_.height();
    const int symbols = modem::symbolsPerBlock(*profile_);
    const int half = symbols / kRowsPerBlock;
    const qsizetype lineBytes = picture_.bytesPerLine();
    std::memmove(picture_.bits() + kRowsPerBlock * lineBytes, picture_.constBits(),
                 static_cast<std::size_t>(lineBytes * (height - kRowsPerBlock)));

    std::array<std::span<const float>, modem::kMaxSlots> spectra{};
    for (int k = 0; k < bank.slotCount(); ++k) spectra[static_cast<std::size_t>(k)] = bank.receiver(k).analyzer().symbolSpectra();
    for (int r = 0; r < kRowsPerBlock; ++r) {
        // The latest symbols go on top.
        const int firstSymbol = (kRowsPerBlock - 1 - r) * half;
        for (int x = 0; x < width; ++x) {
            const auto column = static_cast<std::size_t>(x);
            const std::span<const float> rows = spectra[static_cast<std::size_t>(columnSlot_[column])];
            float sum = 0;
            for (int s = firstSymbol; s < firstSymbol + half; ++s) {
                const auto at = static_cast<std::size_t>(s * modem::kSymbolBins + columnBin_[column]);
                if (at < rows.size() && std::isfinite(rows[at])) sum += rows[at];
            }
            row_[column] = sum / static_cast<float>(half);
        }
        // The noise is what most columns show: colours are scaled from the median.
        std::copy(row_.begin(), row_.end(), scratch_.begin());
        const auto median = scratch_.begin() + width / 2;
        std::nth_element(scratch_.begin(), median, scratch_.end());
        const double noise = std::max(static_cast<double>(*median), 1e-6);
        floor_ = floor_ > 0 ? 0.9 * floor_ + 0.1 * noise : noise;
        auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(r));
        for (int x = 0; x < width; ++x) {
            const double db = 20.0 * std::log10(std::max(static_cast<double>(row_[static_cast<std::size_t>(x)]), 1e-9) / floor_);
            const double t = std::clamp((db + kBelowNoiseDb) / kShownDb, 0.0, 1.0);
            line[x] = palette_[static_cast<std::size_t>(std::lround(255 * t))];
        }
    }
}

void drawBandStrip(QImage& strip, const WideWaterfall& waterfall, double rangeLowHz, double rangeHighHz,
                   std::span<const BandMark> marks, const QFont& font) {
    strip.fill(qRgb(24, 24, 32));
    QPainter p(&strip);
    p.setFont(font);
    const int h = strip.height();
    const int scaleTop = h - 14;
    // The scale: a tick every 100 Hz, labelled every 500 Hz (every 200 Hz when there is room).
    const double pxPer100 = waterfall.xOf(200) - waterfall.xOf(100);
    const int labelEvery = pxPer100 >= 24 ? 200 : 500;
    p.setPen(QColor(200, 200, 200));
    for (int hz = 0; hz <= 4000; hz += 100) {
        const double x = waterfall.xOf(hz);
        if (x < 0 || x >= strip.width()) continue;
        const bool labelled = hz % labelEvery == 0;
        p.drawLine(QPointF(x, h - 1), QPointF(x, h - (labelled ? 6 : 3)));
        if (labelled) p.drawText(QRectF(x - 30, scaleTop, 60, 10), Qt::AlignHCenter | Qt::AlignTop, QString::number(hz));
    }
    // The main receiver's search range.
    const double r0 = waterfall.xOf(rangeLowHz), r1 = waterfall.xOf(rangeHighHz);
    p.fillRect(QRectF(r0, scaleTop - 5, std::max(r1 - r0, 1.0), 3), QColor(255, 255, 0));
    // The stations, each with its call sign above its band.
    for (const BandMark& m : marks) {
        const double x0 = waterfall.xOf(m.lowHz), x1 = waterfall.xOf(m.highHz);
        p.fillRect(QRectF(x0, scaleTop - 10, std::max(x1 - x0, 2.0), 3), QColor(80, 230, 120));
        const QString call = m.call.isEmpty() ? QStringLiteral("?") : m.call;
        p.setPen(QColor(120, 255, 150));
        p.drawText(QRectF((x0 + x1) / 2 - 60, 1, 120, scaleTop - 12), Qt::AlignHCenter | Qt::AlignBottom, call);
    }
}

int markAt(const WideWaterfall& waterfall, std::span<const BandMark> marks, double x) {
    int best = -1;
    double bestDistance = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const double x0 = waterfall.xOf(marks[i].lowHz) - kMarkSlackPixels;
        const double x1 = waterfall.xOf(marks[i].highHz) + kMarkSlackPixels;
        if (x < x0 || x > x1) continue;
        const double d = std::abs(x - (x0 + x1) / 2);
        if (best < 0 || d < bestDistance) {
            best = static_cast<int>(i);
            bestDistance = d;
        }
    }
    return best;
}

}  // namespace vantrel::display
