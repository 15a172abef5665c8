// The meter, its scale, the progress bar and the overlay as the main window shows them.
#include "display/display_overlay.h"
#include "display/mouse_routing.h"
#include "display/tuning_cursor.h"
#include "display/remaining_bar.h"
#include "display/snr_meter.h"
#include "display/waterfall.h"

#include <QtTest>

#include <QFrame>

#include <vector>

using namespace vantrel::display;

// A client area wired the way the main window wires its own: every mouse event goes to
// TuningMouse and the answer is carried out.
class TuningClient : public QWidget {
public:
    TuningClient() {
        resize(700, 500);
        setMouseTracking(true);
        frame = new QFrame(this);
        frame->setGeometry(700 - 118, 0, 120, 245);
        frame->setMouseTracking(true);
        meter = new SnrBar(this);
        meter->setGeometry(700 - 38, 285, 30, 140);
        meter->setMouseTracking(true);
        overlay = new DisplayOverlay(waterfall, this);
        overlay->setGeometry(700 - 118, 0, 118, 284);
    }
    Waterfall waterfall{11025};
    TuningMouse mouse;
    QCursor tuningPointer = tuningCursor();
    QFrame* frame;
    SnrBar* meter;
    DisplayOverlay* overlay;
    int tuning = 1000;
    int squelch = 15;

protected:
    void mouseMoveEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        carryOut(mouse.onMouseMove(p.x(), p.y(), width(), 11025, tuning));
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        carryOut(mouse.onLeftButtonDown(meterClickAt(*this, e->position().toPoint(), *meter), tuning));
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) carryOut(mouse.onLeftButtonUp(tuning));
    }

private:
    void carryOut(const MouseAction& a) {
        applyPointer(*this, a, tuningPointer);
        tuning = a.tuningFrequency;
        if (a.squelchLevel) squelch = *a.squelchLevel;
        if (a.showScale) overlay->showScale(tuning);
    }
};

class DisplayWidgetsTest : public QObject {
    Q_OBJECT
private slots:
    void meterBarAndSquelchLine();
    void meterShutColourBelowSquelch();
    void meterOutOfRangeReadings();
    void scaleAxisTicksAndLabels();
    void progressBarShrinksAndIsEmptyWhenIdle();
    void controlsCarryTheirIdentifiers();
    void overlayFollowsTheRightEdge();
    void mouseReachesTheClientThroughTheDisplay();
};

static QImage shot(QWidget& w) { return w.grab().toImage().convertToFormat(QImage::Format_RGB32); }

void DisplayWidgetsTest::meterBarAndSquelchLine() {
    SnrBar bar;
    bar.resize(30, 140);
    bar.setReading(40, 15);
    const QImage img = shot(bar);
    // Logical 83 - 40 = 43 maps to row round(43 * 140 / 83) = 73.
    QCOMPARE(img.pixel(15, 139), kMeterOpen);
    QCOMPARE(img.pixel(29, 73), kMeterOpen);
    QCOMPARE(img.pixel(15, 72), kMeterBackground);
    // Squelch 15: row round(68 * 140 / 83) = 115, from x = 0 to just short of round(19 * 1.5).
    QCOMPARE(img.pixel(0, 115), kMeterSquelchLine);
    QCOMPARE(img.pixel(27, 115), kMeterSquelchLine);
    QCOMPARE(img.pixel(29, 115), kMeterOpen);
    QCOMPARE(img.pixel(15, 114), kMeterOpen);
}

void DisplayWidgetsTest::meterShutColourBelowSquelch() {
    SnrBar bar;
    bar.resize(30, 140);
    bar.setReading(14, 15);
    QCOMPARE(shot(bar).pixel(15, 139), kMeterShut);
    bar.setReading(15, 15);
    QCOMPARE(shot(bar).pixel(15, 139), kMeterOpen);
}

void DisplayWidgetsTest::meterOutOfRangeReadings() {
    SnrBar bar;
    bar.resize(30, 140);
    bar.setReading(-20, 15);
    QImage img = shot(bar);
    QCOMPARE(img.pixel(15, 139), kMeterBackground);
    bar.setReading(std::numeric_limits<int>::max(), std::numeric_limits<int>::min());
    img = shot(bar);
    QCOMPARE(img.pixel(15, 0), kMeterOpen);
}

void DisplayWidgetsTest::scaleAxisTicksAndLabels() {
    SnrScale scale;
    scale.resize(20, 140);
    const QImage img = shot(scale);
    // Axis at x = 10 from row round(1 * 140 / 83) = 2 down to just above row 138.
    QCOMPARE(img.pixel(10, 2), kScaleAxis);
    QCOMPARE(img.pixel(10, 137), kScaleAxis);
    // The tick at logical 10 runs to x = 14, row round(10 * 140 / 83) = 17.
    QCOMPARE(img.pixel(14, 17), kScaleAxis);
    QVERIFY(img.pixel(15, 17) != kScaleAxis);
    int blue = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            blue += qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100;
        }
    QVERIFY2(blue > 40, "blue labels drawn");
}

void DisplayWidgetsTest::progressBarShrinksAndIsEmptyWhenIdle() {
    RemainingBar bar;
    bar.resize(504, 20);
    const QRect c = bar.contentsRect();
    QCOMPARE(c.width(), 500);  // a 2-pixel sunken edge all round
    const QColor background = bar.palette().color(QPalette::Window);

    bar.setProgress(0, 100);
    QCOMPARE(bar.barLength(), std::optional<int>(305));  // round(0.61 * 500)
    QImage img = shot(bar);
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 0), qRgb(0, 130, 0));
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 3), qRgb(0, 195, 0));
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 6), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 7), qRgb(0, 250, 0));
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 12), qRgb(0, 130, 0));
    QCOMPARE(img.pixel(c.left() + 304, c.top() + 6), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(c.left() + 305, c.top() + 6), background.rgb());
    QCOMPARE(img.pixel(c.left() + 10, c.top() + 15), background.rgb());

    bar.setProgress(50, 100);  // 152.5 rounds to the even 152
    img = shot(bar);
    QCOMPARE(img.pixel(c.left() + 151, c.top() + 6), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(c.left() + 152, c.top() + 6), background.rgb());

    bar.setProgress(0, 0);
    QCOMPARE(bar.barLength(), std::nullopt);
    QCOMPARE(shot(bar).pixel(c.left() + 10, c.top() + 6), background.rgb());
}

void DisplayWidgetsTest::controlsCarryTheirIdentifiers() {
    SnrBar bar;
    SnrScale scale;
    RemainingBar progress;
    QCOMPARE(bar.property("controlId").toInt(), 550);
    QCOMPARE(bar.objectName(), QStringLiteral("SnrBar"));
    QCOMPARE(scale.property("controlId").toInt(), 1430);
    QCOMPARE(scale.objectName(), QStringLiteral("SnrScale"));
    QCOMPARE(progress.property("controlId").toInt(), 1429);
    QCOMPARE(progress.objectName(), QStringLiteral("RemainingBar"));
}

void DisplayWidgetsTest::overlayFollowsTheRightEdge() {
    Waterfall waterfall(11025);
    QWidget client;
    client.resize(400, 330);
    client.setAutoFillBackground(true);
    QPalette pal = client.palette();
    pal.setColor(QPalette::Window, QColor(10, 20, 30));
    client.setPalette(pal);
    DisplayOverlay overlay(waterfall, &client);
    overlay.setGeometry(400 - 118, 0, 118, 284);
    QVERIFY(overlay.testAttribute(Qt::WA_TransparentForMouseEvents));
    QCOMPARE(overlay.clientRight(), 118);

    // Before any block only the background shows.
    QCOMPARE(shot(client).pixel(400 - 60, 100), qRgb(10, 20, 30));

    std::vector<float> spectra(8 * kSpectrumBins, 0.0f);
    for (int s = 0; s < 8; ++s) spectra[std::size_t(s * kSpectrumBins + 100)] = 50.0f;
    const std::vector<double> profile(kTimingProfileLength, 0.0);
    waterfall.renderBlock({spectra, 8, profile, 4, 122});
    overlay.showBlock(1000);
    QImage img = shot(client);
    QCOMPARE(img.pixel(400 - 88, 241 - 100), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(400 - 85, 241 - 50), qRgb(kFloorGrey, kFloorGrey, kFloorGrey));
    QCOMPARE(img.pixel(400 - 55 + 3 * (4 + 2) - 2, 260), kSyncMarkerColour);
    // The scale window is on: its black strip covers the background.
    QCOMPARE(img.pixel(400 - 115 + 5, 3 + 1), qRgb(0, 0, 0));
    QCOMPARE(img.pixel(400 - 115 + 5, 3 + 239), qRgb(10, 20, 30));
    QCOMPARE(img.pixel(400 - 2, 100), qRgb(10, 20, 30));

    // Wider window: the display moves with the right edge.
    client.resize(600, 330);
    overlay.setGeometry(600 - 118, 0, 118, 284);
    img = shot(client);
    QCOMPARE(img.pixel(600 - 88, 241 - 100), qRgb(255, 255, 255));
    QCOMPARE(img.pixel(400 - 88, 241 - 100), qRgb(10, 20, 30));
}

void DisplayWidgetsTest::mouseReachesTheClientThroughTheDisplay() {
    TuningClient client;
    client.show();
    QVERIFY(QTest::qWaitForWindowExposed(&client));

    // Over the waterfall (through the transparent overlay and the frame): the tuning pointer.
    QTest::mouseMove(&client, QPoint(650, 100));
    QTRY_COMPARE(client.mouse.mouseY(), 100);
    QCOMPARE(client.cursor().shape(), Qt::BitmapCursor);
    QTest::mouseMove(&client, QPoint(300, 100));
    QTRY_COMPARE(client.cursor().shape(), Qt::ArrowCursor);

    // A drag on the waterfall: ten rows up at 11025 Hz lowers F by 28 Hz.
    QTest::mouseMove(&client, QPoint(650, 100));
    QTest::mousePress(&client, Qt::LeftButton, {}, QPoint(650, 100));
    QTest::mouseMove(&client, QPoint(650, 90));
    QTRY_COMPARE(client.tuning, 972);
    QTest::mouseRelease(&client, Qt::LeftButton, {}, QPoint(650, 90));
    QVERIFY(!client.mouse.dragging());

    // A click on the meter, 100 px above its bottom edge, sets the squelch level.
    QTest::mousePress(client.meter, Qt::LeftButton, {}, QPoint(15, 40));
    QCOMPARE(client.squelch, 61);
    QCOMPARE(client.cursor().shape(), Qt::CrossCursor);
    QTest::mouseRelease(client.meter, Qt::LeftButton, {}, QPoint(15, 40));
    QVERIFY(!client.mouse.dragging());
}

QTEST_MAIN(DisplayWidgetsTest)
#include "display_widgets_test.moc"
