// The S/N meter (control 550) and its scale (control 1430), redrawn after every analysis pass.
//
// Both are drawn in logical units of 20 x 83 (x to the right, y downwards, 83 at the bottom)
// mapped onto whatever client size the layout gives the control (30 x 140 and 20 x 140
// pixels): each axis is scaled on its own, device = round(logical * client / extent), ties to
// even, the way an anisotropic mapping mode would. Font heights are logical units too and scale
// with the y axis. Pens stay one pixel wide. Fills and lines leave out their right and bottom
// edges. Two meter units make one labelled unit on the scale (the label value is reading / 2).
#pragma once

#include <QFont>
#include <QImage>
#include <QSize>
#include <QWidget>

class QPainter;

namespace vantrel::display {

inline constexpr int kSnrBarId = 550;
inline constexpr int kSnrScaleId = 1430;
inline constexpr int kMeterLogicalWidth = 20;
inline constexpr int kMeterLogicalHeight = 83;

inline constexpr QRgb kMeterBackground = 0xffe0ffff;  // (224, 255, 255)
inline constexpr QRgb kMeterOpen = 0xff00bfff;        // (0, 191, 255): reading >= squelch
inline constexpr QRgb kMeterShut = 0xffadd8e6;        // (173, 216, 230): reading below it
inline constexpr QRgb kMeterSquelchLine = 0xffff0000;
inline constexpr QRgb kScaleAxis = 0xffff0000;
inline constexpr QRgb kScaleLabels = 0xff0000ff;

// Logical 20 x 83 onto `device`, each axis on its own.
class LogicalMapping {
public:
    explicit LogicalMapping(QSize device) : device_(device) {}
    int x(int logical) const;
    int y(int logical) const;
    double yScale() const;

private:
    QSize device_;
};

// The meter: background, the bar of `snrSmoothed` and the red squelch line, on a client of
// `client` pixels.
void paintSnrMeter(QPainter& painter, QSize client, int snrSmoothed, int squelchLevel);
// The scale: red axis and ticks and the blue labels 40 .. 0, in `labelFont` (6 points).
void paintSnrScale(QPainter& painter, QSize client, const QFont& labelFont);

class SnrBar : public QWidget {
    Q_OBJECT
public:
    explicit SnrBar(QWidget* parent = nullptr);

    // After every analysis pass, squelch open or not.
    void setReading(int snrSmoothed, int squelchLevel);
    int snrSmoothed() const { return snrSmoothed_; }
    int squelchLevel() const { return squelchLevel_; }

    QSize sizeHint() const override { return {30, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int snrSmoothed_ = 0;
    int squelchLevel_ = 15;
};

class SnrScale : public QWidget {
    Q_OBJECT
public:
    explicit SnrScale(QWidget* parent = nullptr, int logicalDpiY = 96);

    QSize sizeHint() const override { return {20, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont_;
};

}  // namespace vantrel::display
