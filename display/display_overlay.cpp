#include "display/display_overlay.h"

#include "display/frequency_scale.h"
#include "display/waterfall.h"

#include <QPainter>
#include <QPaintEvent>

namespace vantrel::display {

void copyArea(QPainter& painter, const QImage& source, QPoint sourceOrigin, QSize size,
              QPoint destination) {
    const QRect wanted(sourceOrigin, size);
    const QRect available = wanted & source.rect();
    if (available.isEmpty()) return;
    painter.drawImage(destination + (available.topLeft() - wanted.topLeft()), source, available);
}

void paintPicture(QPainter& painter, const Waterfall& waterfall, int clientRight) {
    const int r = clientRight;
    // The newest strip sits at columns n .. n + 7 after the scroll; the latest slot shows at
    // the left edge, the oldest at the right.
    copyArea(painter, waterfall.waterfallBitmap(), QPoint(waterfall.newColumns(), 0),
             QSize(86, 256), QPoint(r - kWaterfallLeftFromRight, kDisplayTop));
    copyArea(painter, waterfall.syncWaterfallBitmap(), QPoint(0, 0), QSize(44, 32),
             QPoint(r - kSyncWaterfallLeftFromRight, kSyncTop));
    copyArea(painter, waterfall.syncLabelBitmap(), QPoint(0, 0), QSize(8, 32),
             QPoint(r - kSyncLabelLeftFromRight, kSyncTop));
    copyArea(painter, waterfall.syncTraceBitmap(), QPoint(2, 0), QSize(52, 32),
             QPoint(r - kSyncTraceLeftFromRight, kSyncTop));
}

void paintScale(QPainter& painter, const Waterfall& waterfall, int clientRight,
                int tuningFrequency) {
    const auto start = waterfall.scaleWindowStart(tuningFrequency);
    if (!start) return;
    copyArea(painter, waterfall.scaleStrip(), QPoint(0, *start),
             QSize(kScaleWidth, kScaleWindowRows),
             QPoint(clientRight - kScaleLeftFromRight, kDisplayTop));
}

DisplayOverlay::DisplayOverlay(const Waterfall& waterfall, QWidget* parent)
    : QWidget(parent), waterfall_(waterfall) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(QStringLiteral("DisplayOverlay"));
}

int DisplayOverlay::clientRight() const {
    return parentWidget() ? parentWidget()->width() - x() : width();
}

void DisplayOverlay::showBlock(int tuningFrequency) {
    shownTuning_ = tuningFrequency;
    update();
}

void DisplayOverlay::showScale(int tuningFrequency) {
    shownTuning_ = tuningFrequency;
    const int r = clientRight();
    update(QRect(r - kScaleLeftFromRight, kDisplayTop, kScaleWidth, kScaleWindowRows));
}

void DisplayOverlay::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region());
    const int r = clientRight();
    // Before the first block nothing is shown: the frames beneath stay as they are.
    if (waterfall_.hasPicture()) paintPicture(painter, waterfall_, r);
    if (shownTuning_) paintScale(painter, waterfall_, r, *shownTuning_);
}

}  // namespace vantrel::display
