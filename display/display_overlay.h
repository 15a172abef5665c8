// Puts the receive display on the screen: the waterfall, the timing panel and the frequency
// scale window, copied from the Waterfall's surfaces to fixed offsets from the right edge R of
// the main window's client area. A transparent child of that client widget; it paints only in
// its paint event, so an exposed or resized window is redrawn at once from the surfaces.
//
// Place it over the right-hand column (or the whole client area) and keep it raised above the
// frames; it takes no mouse input, which goes straight to the client widget beneath.
#pragma once

#include <QWidget>

#include <optional>

class QPainter;

namespace vantrel::display {

class Waterfall;

// Screen positions, relative to R, of the five copies (destination top-left, pixels).
inline constexpr int kWaterfallLeftFromRight = 88;
inline constexpr int kSyncWaterfallLeftFromRight = 107;
inline constexpr int kSyncLabelLeftFromRight = 115;
inline constexpr int kSyncTraceLeftFromRight = 55;
inline constexpr int kScaleLeftFromRight = 115;
inline constexpr int kDisplayTop = 3;
inline constexpr int kSyncTop = 248;

// Copies the `size` area of `source` at `sourceOrigin` to `destination`. Destination pixels
// whose source lies outside the image are left unchanged.
void copyArea(QPainter& painter, const QImage& source, QPoint sourceOrigin, QSize size,
              QPoint destination);

// The four copies of the waterfall and the timing panel, for right edge R.
void paintPicture(QPainter& painter, const Waterfall& waterfall, int clientRight);
// The scale window for tuning frequency F, for right edge R (nothing for a rate without one).
void paintScale(QPainter& painter, const Waterfall& waterfall, int clientRight,
                int tuningFrequency);

class DisplayOverlay : public QWidget {
    Q_OBJECT
public:
    // `waterfall` must outlive the overlay.
    DisplayOverlay(const Waterfall& waterfall, QWidget* parent);

    // After Waterfall::renderBlock: shows the new picture and the scale window for F.
    void showBlock(int tuningFrequency);
    // The scale window for F (mouse moves, a drag, a new speed).
    void showScale(int tuningFrequency);

    // R in this widget's coordinates: the parent's right edge when there is a parent.
    int clientRight() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Waterfall& waterfall_;
    std::optional<int> shownTuning_;  // none until the scale has been shown once
};

}  // namespace vantrel::display
