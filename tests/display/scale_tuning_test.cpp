#include "display/display_overlay.h"
#include "display/frequency_scale.h"
#include "display/tuning_cursor.h"
#include "display/tuning_mouse.h"
#include "display/waterfall.h"

#include <QPainter>

#include <gtest/gtest.h>

namespace vantrel::display {
namespace {

int yellowIn(const QImage& strip, QRect area) {
    int count = 0;
    for (int y = std::max(0, area.top()); y <= std::min(strip.height() - 1, area.bottom()); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += qRed(strip.pixel(x, y)) > 100 && qGreen(strip.pixel(x, y)) > 100 &&
                     qBlue(strip.pixel(x, y)) < 50;
    return count;
}

TEST(ScaleWindow, StartRowPerRate) {
    EXPECT_EQ(scaleWindowStart(11025, 1000), 539);  // 902 - 362.81
    EXPECT_EQ(scaleWindowStart(16000, 0), 560);
    EXPECT_EQ(scaleWindowStart(8000, 1000), 810);
    EXPECT_EQ(scaleWindowStart(22050, 1000), 169);  // 350 - 181.41
    // Halves go to the even row.
    EXPECT_EQ(scaleWindowStart(8000, 1), 1310);
    EXPECT_EQ(scaleWindowStart(8000, 3), 1308);
    EXPECT_EQ(scaleWindowStart(44100, 1000), std::nullopt);
}

TEST(ScaleStrip, LabelsWhereTheLayoutPutsThem) {
    const QImage s16 = makeScaleStrip(16000, 96);
    ASSERT_EQ(s16.size(), QSize(kScaleWidth, kScaleHeight));
    EXPECT_GT(yellowIn(s16, QRect(0, 39, 22, 10)), 10);    // "3000"
    EXPECT_GT(yellowIn(s16, QRect(15, 789, 7, 10)), 3);    // "0"
    EXPECT_EQ(yellowIn(s16, QRect(0, 800, 22, 999)), 0);  // nothing below it
    // Ticks every ten rows at x = 22, down the whole strip.
    EXPECT_GT(yellowIn(s16, QRect(22, 1780, 5, 20)), 0);

    const QImage s22 = makeScaleStrip(22050, 96);
    EXPECT_GT(yellowIn(s22, QRect(0, 545, 22, 10)), 10);   // " 200"
    EXPECT_GT(yellowIn(s22, QRect(0, 582, 8, 10)), 3);     // "0", at x = 0 at this rate
    EXPECT_EQ(yellowIn(s22, QRect(0, 600, 22, 1199)), 0);  // no " 100"

    const QImage s11 = makeScaleStrip(11025, 96);
    EXPECT_GT(yellowIn(s11, QRect(0, 1100, 22, 10)), 10);  // " 100"
    EXPECT_GT(yellowIn(s11, QRect(15, 1137, 7, 10)), 3);   // "0"
    // A rate without a layout gets the ticks only.
    EXPECT_EQ(yellowIn(makeScaleStrip(12345, 96), QRect(0, 0, 22, kScaleHeight)), 0);
}

TEST(ScaleWindow, ScreenShowsTheWindowForF) {
    const Waterfall w(16000);
    const int r = 300;
    QImage screen(r, 300, QImage::Format_RGB32);
    screen.fill(0xff123456);
    QPainter painter(&screen);
    paintScale(painter, w, r, 0);
    painter.end();
    // Screen row 241 is strip row 798; the "0" label (top 789) sits just above it.
    EXPECT_GT(yellowIn(screen, QRect(r - 115 + 15, 232, 7, 10)), 3);
    EXPECT_EQ(screen.pixel(r - 115, 2), 0xff123456u);
    EXPECT_EQ(screen.pixel(r - 115, 242), 0xff123456u);
    EXPECT_EQ(screen.pixel(r - 115 + kScaleWidth, 100), 0xff123456u);

    // Far above the band the window runs off the strip's top: those rows stay as they were.
    QImage high(r, 300, QImage::Format_RGB32);
    high.fill(0xff123456);
    QPainter p2(&high);
    paintScale(p2, w, r, 3000);  // window starts at row -190
    p2.end();
    EXPECT_EQ(high.pixel(r - 110, 3 + 100), 0xff123456u);
    EXPECT_NE(high.pixel(r - 110, 3 + 200), 0xff123456u);
}

// A drag from y = 100: move there, press, move by `rows` (positive = down).
int dragOnce(int sampleRate, int f, int rows) {
    TuningMouse mouse;
    mouse.onMouseMove(500, 100, 600, sampleRate, f);
    f = mouse.onLeftButtonDown(std::nullopt, f).tuningFrequency;
    return mouse.onMouseMove(500, 100 + rows, 600, sampleRate, f).tuningFrequency;
}

TEST(TuningDrag, PictureFollowsThePointerAtEveryRate) {
    EXPECT_EQ(dragOnce(8000, 1000, -10), 980);
    EXPECT_EQ(dragOnce(11025, 1000, -10), 972);  // 1000 - 27.5625
    EXPECT_EQ(dragOnce(16000, 1000, -10), 960);
    EXPECT_EQ(dragOnce(22050, 1000, -10), 945);  // 1000 - 55.125
    EXPECT_EQ(dragOnce(22050, 1000, 10), 1055);
    EXPECT_EQ(dragOnce(11025, 1000, 0), 1000);
}

TEST(TuningDrag, EachMoveIsRoundedOnItsOwnAndNotLimited) {
    TuningMouse mouse;
    int f = 1000;
    mouse.onMouseMove(500, 100, 600, 11025, f);
    f = mouse.onLeftButtonDown(std::nullopt, f).tuningFrequency;
    for (int y = 99; y >= 90; --y) {
        const MouseAction a = mouse.onMouseMove(500, y, 600, 11025, f);
        EXPECT_TRUE(a.showScale);
        f = a.tuningFrequency;
    }
    EXPECT_EQ(f, 970);  // ten steps of 2.75625 each round to 3
    EXPECT_EQ(mouse.lastDragY(), 90);

    f = 10;
    for (int y = 89; y >= 60; --y) f = mouse.onMouseMove(500, y, 600, 11025, f).tuningFrequency;
    EXPECT_LT(f, 0);  // the receiver follows beyond the band while the button is held
    EXPECT_EQ(mouse.onLeftButtonUp(f).tuningFrequency, 0);
    EXPECT_FALSE(mouse.dragging());
}

TEST(TuningDrag, PressAndReleaseHoldFWithinTheBand) {
    TuningMouse mouse;
    EXPECT_EQ(mouse.onLeftButtonDown(std::nullopt, -40).tuningFrequency, 0);
    EXPECT_EQ(mouse.onLeftButtonUp(-40).tuningFrequency, 0);
    EXPECT_EQ(mouse.onLeftButtonUp(2600).tuningFrequency, 2500);
    EXPECT_EQ(mouse.onLeftButtonUp(1234).tuningFrequency, 1234);
}

TEST(TuningDrag, MovingWithoutButtonOnlyRedrawsTheScale) {
    TuningMouse mouse;
    const MouseAction a = mouse.onMouseMove(500, 50, 600, 11025, 1000);
    EXPECT_EQ(a.tuningFrequency, 1000);
    EXPECT_TRUE(a.showScale);
    EXPECT_EQ(a.pointer, MouseAction::Pointer::Tuning);
    EXPECT_EQ(mouse.mouseY(), 50);
    EXPECT_EQ(mouse.onMouseMove(486, 50, 600, 11025, 1000).pointer, MouseAction::Pointer::Standard);
    EXPECT_EQ(mouse.onMouseMove(500, 277, 600, 11025, 1000).pointer, MouseAction::Pointer::Standard);
    EXPECT_EQ(mouse.onMouseMove(599, 36, 600, 11025, 1000).pointer, MouseAction::Pointer::Tuning);
}

TEST(TuningDrag, DragStartedBelowTheDisplayNeverTunes) {
    TuningMouse mouse;
    mouse.onMouseMove(100, 300, 600, 11025, 1000);
    mouse.onLeftButtonDown(std::nullopt, 1000);
    const MouseAction a = mouse.onMouseMove(100, 200, 600, 11025, 1000);
    EXPECT_EQ(a.tuningFrequency, 1000);
    EXPECT_FALSE(a.showScale);
    EXPECT_EQ(mouse.lastDragY(), 300);
}

TEST(SquelchClick, HeightAboveTheMeterBottomSetsTheLevel) {
    TuningMouse mouse;
    mouse.onMouseMove(580, 330, 600, 11025, 1000);
    const MouseAction a = mouse.onLeftButtonDown(MeterClick{40, 140}, 2700);
    EXPECT_EQ(a.squelchLevel, 61);  // 0.61 * 100
    EXPECT_EQ(a.pointer, MouseAction::Pointer::CrossHair);
    EXPECT_TRUE(mouse.dragging());  // the click starts a drag too
    EXPECT_EQ(a.tuningFrequency, 2500);
    EXPECT_EQ(mouse.onLeftButtonDown(MeterClick{0, 140}, 1000).squelchLevel, 85);
    EXPECT_EQ(mouse.onLeftButtonDown(MeterClick{137, 140}, 1000).squelchLevel, 2);
    // The bottom row would give 0: the level never drops below 1.
    EXPECT_EQ(mouse.onLeftButtonDown(MeterClick{139, 140}, 1000).squelchLevel, 1);
    EXPECT_EQ(mouse.onLeftButtonDown(std::nullopt, 1000).squelchLevel, std::nullopt);
}

TEST(TuningCursor, DoubleArrowAtTheLeftAndWordsBesideIt) {
    const QImage c = tuningCursorImage();
    ASSERT_EQ(c.size(), QSize(kCursorSize, kCursorSize));
    for (int y = 0; y < kCursorSize; ++y) EXPECT_EQ(c.pixel(2, y), 0xff000000u) << y;
    EXPECT_EQ(c.pixel(0, 2), 0xff000000u);  // arrow heads
    EXPECT_EQ(c.pixel(4, 29), 0xff000000u);
    int ink = 0;
    for (int y = 2; y < 28; ++y)
        for (int x = 6; x < kCursorSize; ++x) ink += c.pixel(x, y) == 0xff000000u;
    EXPECT_GT(ink, 100);
    EXPECT_EQ(qAlpha(c.pixel(31, 31)), 0);
}

}  // namespace
}  // namespace vantrel::display
