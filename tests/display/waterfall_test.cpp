#include "display/display_overlay.h"
#include "display/waterfall.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <vector>

namespace vantrel::display {
namespace {

constexpr int kR = 200;  // right edge of the pretend client area
constexpr QRgb kScreen = 0xff123456;

std::vector<float> spectra(int slotCount, float level) {
    return std::vector<float>(static_cast<std::size_t>(slotCount) * kSpectrumBins, level);
}

float& bin(std::vector<float>& s, int slot, int b) {
    return s[static_cast<std::size_t>(slot * kSpectrumBins + b)];
}

std::vector<double> flatProfile() { return std::vector<double>(kTimingProfileLength, 0.0); }

// What the screen shows after the block copies, for right edge kR.
QImage screen(const Waterfall& w) {
    QImage image(kR + 10, 300, QImage::Format_RGB32);
    image.fill(kScreen);
    QPainter painter(&image);
    paintPicture(painter, w, kR);
    return image;
}

int greyAt(const QImage& image, int x, int y) {
    const QRgb p = image.pixel(x, y);
    EXPECT_EQ(qRed(p), qGreen(p));
    EXPECT_EQ(qGreen(p), qBlue(p));
    return qRed(p);
}

// Screen column of symbol slot s of the latest block (latest slot leftmost).
int slotColumn(int s, int n) { return kR - 88 + (kStripColumns - 1 - s) - (kStripColumns - n); }

TEST(WaterfallStrip, CarrierIsWhiteAtItsBinAndScalesOnlyItsOwnColumn) {
    Waterfall w(11025);
    auto s = spectra(8, 1.0f);
    for (int slot = 0; slot < 8; ++slot) bin(s, slot, 2) = 3.0f;  // weak everywhere
    bin(s, 7, 60) = 200.0f;                                        // carrier in the latest slot
    bin(s, 6, 90) = 4.0f;                                          // below the normaliser floor
    w.renderSpectra(s, 8, 122);
    const QImage img = screen(w);

    EXPECT_EQ(greyAt(img, slotColumn(7, 8), 241 - 60), 255);
    // Beside the carrier, its column drops to the floor: 3 * 255 / 200 rounds to 4.
    EXPECT_EQ(greyAt(img, slotColumn(7, 8), 241 - 2), kFloorGrey);
    // A column whose largest value is 4 is scaled against 5, not stretched to white.
    EXPECT_EQ(greyAt(img, slotColumn(6, 8), 241 - 90), 204);
    EXPECT_EQ(greyAt(img, slotColumn(6, 8), 241 - 2), 153);
    // Bin 0 (the never-written scan line) stays black, and nothing is drawn below it.
    EXPECT_EQ(img.pixel(slotColumn(7, 8), 241), kBlack);
    EXPECT_EQ(img.pixel(slotColumn(7, 8), 242), kScreen);
    EXPECT_EQ(img.pixel(slotColumn(7, 8), 2), kScreen);
}

TEST(WaterfallStrip, NormaliserTakesBinZeroOfTheNextSlot) {
    QImage strip = blackSurface(kStripColumns, kStripLines);
    auto s = spectra(2, 0.0f);
    bin(s, 0, 10) = 50.0f;
    bin(s, 1, 0) = 100.0f;  // element 256 of the sequence: last one slot 0 looks at
    fillWaterfallStrip(strip, s);
    EXPECT_EQ(qRed(strip.pixel(7, 238 - 10)), 128);  // 50 * 255 / 100 = 127.5, ties to even
}

TEST(WaterfallStrip, EmptyOrBrokenSpectrumGivesFloorGrey) {
    Waterfall w(11025);
    auto s = spectra(8, 0.0f);
    bin(s, 3, 40) = std::numeric_limits<float>::quiet_NaN();
    bin(s, 4, 40) = std::numeric_limits<float>::infinity();
    w.renderSpectra(s, 8, 122);
    const QImage img = screen(w);
    for (int slot = 0; slot < 8; ++slot)
        for (int b : {1, 40, 100, 238})
            EXPECT_EQ(greyAt(img, slotColumn(slot, 8), 241 - b), kFloorGrey) << slot << " " << b;
}

TEST(WaterfallScroll, EightColumnsPerBlockSingleSpaced) {
    Waterfall w(11025);
    auto s = spectra(8, 0.0f);
    for (int slot = 0; slot < 8; ++slot) bin(s, slot, 30) = 100.0f;
    w.renderSpectra(s, 8, 122);
    EXPECT_EQ(w.newColumns(), 8);
    EXPECT_EQ(greyAt(screen(w), kR - 88, 241 - 30), 255);
    w.renderSpectra(spectra(8, 0.0f), 8, 122);
    const QImage img = screen(w);
    EXPECT_EQ(greyAt(img, kR - 81, 241 - 30), kFloorGrey);
    EXPECT_EQ(greyAt(img, kR - 80, 241 - 30), 255);
    EXPECT_EQ(greyAt(img, kR - 73, 241 - 30), 255);
    EXPECT_EQ(img.pixel(kR - 72, 241 - 30), kBlack);  // no third block yet
}

TEST(WaterfallScroll, FourColumnsPerBlockDoubleSpacedWithFloorAtTheLeft) {
    Waterfall w(8000);
    auto s = spectra(4, 0.0f);
    for (int slot = 0; slot < 4; ++slot) bin(s, slot, 30) = 100.0f;
    w.renderSpectra(s, 4, 122);
    QImage img = screen(w);
    for (int x = kR - 88; x < kR - 84; ++x) EXPECT_EQ(greyAt(img, x, 241 - 30), kFloorGrey);
    for (int x = kR - 84; x < kR - 80; ++x) EXPECT_EQ(greyAt(img, x, 241 - 30), 255);
    w.renderSpectra(spectra(4, 0.0f), 4, 122);
    img = screen(w);
    EXPECT_EQ(greyAt(img, kR - 81, 241 - 30), kFloorGrey);
    for (int x = kR - 80; x < kR - 76; ++x) EXPECT_EQ(greyAt(img, x, 241 - 30), 255);
}

TEST(WaterfallMarkers, DefaultRowsAndAChangedTopShowAtOnce) {
    Waterfall w(11025);
    w.renderSpectra(spectra(8, 0.0f), 8, 122);
    w.renderSpectra(spectra(8, 0.0f), 8, 122);
    const QImage& bmp = w.waterfallBitmap();
    for (int x : {0, 8, 50, 95}) {
        EXPECT_EQ(bmp.pixel(x, 117), kMarkerColour);
        EXPECT_EQ(bmp.pixel(x, 116), kMarkerColour);
        EXPECT_EQ(bmp.pixel(x, 234), kMarkerColour);
        EXPECT_NE(bmp.pixel(x, 118), kMarkerColour);
        EXPECT_NE(bmp.pixel(x, 235), kMarkerColour);
    }
    w.renderSpectra(spectra(8, 0.0f), 8, 100);
    // The newest strip (columns 8..15) carries the new line; older columns keep the old one.
    EXPECT_EQ(bmp.pixel(10, 139), kMarkerColour);
    EXPECT_EQ(qRed(bmp.pixel(10, 117)), kFloorGrey);
    EXPECT_EQ(bmp.pixel(20, 117), kMarkerColour);
    EXPECT_EQ(bmp.pixel(10, 234), kMarkerColour);
}

TEST(WaterfallMarkers, TopOutsideThePictureIsClipped) {
    Waterfall w(11025);
    w.renderSpectra(spectra(8, 0.0f), 8, -5000);
    w.renderSpectra(spectra(8, 0.0f), 8, 5000);
    EXPECT_EQ(w.waterfallBitmap().pixel(10, 234), kMarkerColour);
}

TEST(TimingPanel, ConcentratedProfilePeaksWithBrightHistoryAndRedMarker) {
    Waterfall w(11025);
    auto profile = flatProfile();
    for (int g = 0; g < 8; ++g) profile[std::size_t(16 * g + 5)] = 100.0;  // sum 800
    w.renderTimingPanel(profile, 9);
    const QImage& trace = w.syncTraceBitmap();
    EXPECT_EQ(trace.pixel(3 * (5 + 2), 0), kTraceColour);   // v = 32: top of the trace
    EXPECT_EQ(trace.pixel(3 * (3 + 2), 31), kTraceColour);  // empty phases lie on the bottom
    EXPECT_EQ(trace.pixel(3 * (10 + 2), 31), kTraceColour);
    for (int y = 0; y < 32; ++y) EXPECT_EQ(trace.pixel(3 * (9 + 2), y), kSyncMarkerColour);
    EXPECT_EQ(trace.pixel(3 * (8 + 2), 15), kBlack);

    // History: phase 5 at rows 10 and 11, nearest(32^6 / 5e6) = 215 green; newest in 0 and 1.
    const QImage& history = w.syncWaterfallBitmap();
    for (int x : {0, 1}) {
        EXPECT_EQ(history.pixel(x, 10), qRgb(0, 215, 0));
        EXPECT_EQ(history.pixel(x, 11), qRgb(0, 215, 0));
        EXPECT_EQ(history.pixel(x, 12), qRgb(0, 0, 0));
    }

    const QImage img = screen(w);
    EXPECT_EQ(img.pixel(kR - 55 + 3 * (5 + 2) - 2, 248), kTraceColour);
    EXPECT_EQ(img.pixel(kR - 55 + 3 * (9 + 2) - 2, 260), kSyncMarkerColour);
    EXPECT_EQ(img.pixel(kR - 107, 248 + 10), qRgb(0, 215, 0));
}

TEST(TimingPanel, WeakProfileIsScaledAgainst200AndHistoryScrollsOnePerBlock) {
    Waterfall w(11025);
    auto weak = flatProfile();
    for (int g = 0; g < 8; ++g) weak[std::size_t(16 * g + 5)] = 10.0;  // sum 80: v = 13
    w.renderTimingPanel(weak, 0);
    EXPECT_EQ(w.syncTraceBitmap().pixel(21, 32 - 13), kTraceColour);
    EXPECT_EQ(w.syncTraceBitmap().pixel(21, 0), kBlack);
    EXPECT_EQ(w.syncWaterfallBitmap().pixel(0, 10), qRgb(0, 1, 0));

    auto strong = flatProfile();
    for (int g = 0; g < 8; ++g) strong[std::size_t(16 * g + 5)] = 100.0;
    w.renderTimingPanel(strong, 0);
    EXPECT_EQ(w.syncWaterfallBitmap().pixel(1, 10), qRgb(0, 215, 0));
    EXPECT_EQ(w.syncWaterfallBitmap().pixel(2, 10), qRgb(0, 1, 0));
    // The trace was cleared: last block's point is gone.
    EXPECT_EQ(w.syncTraceBitmap().pixel(21, 32 - 13), kBlack);
}

TEST(TimingPanel, EmptyOrShortProfileGivesAFlatBottomTrace) {
    Waterfall w(11025);
    w.renderTimingPanel({}, 3);
    for (int c = 1; c <= 15; ++c)
        if (c != 3) {
            EXPECT_EQ(w.syncTraceBitmap().pixel(3 * (c + 2), 31), kTraceColour) << c;
        }
    EXPECT_EQ(w.syncTraceBitmap().pixel(3 * (3 + 2), 31), kSyncMarkerColour);
    EXPECT_EQ(w.syncWaterfallBitmap().pixel(0, 6), kBlack);
}

TEST(SyncLabel, FourLettersEightRowsApart) {
    const Waterfall w(11025);
    const QImage& label = w.syncLabelBitmap();
    ASSERT_EQ(label.size(), QSize(kSyncLabelWidth, kSyncHeight));
    for (int letter = 0; letter < 4; ++letter) {
        int lit = 0;
        for (int y = 8 * letter; y < 8 * letter + 8; ++y)
            for (int x = 0; x < label.width(); ++x) lit += qRed(label.pixel(x, y)) > 128;
        EXPECT_GT(lit, 3) << letter;
    }
    EXPECT_FALSE(w.hasPicture());
}

}  // namespace
}  // namespace vantrel::display
