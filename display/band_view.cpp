#include "display/band_view.h"

#include <QMouseEvent>
#include <QPainter>

namespace vantrel::display {
namespace {

QFont stripFont() {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    return font;
}

}  // namespace

BandView::BandView(WideWaterfall& waterfall, QWidget* parent) : QWidget(parent), waterfall_(waterfall) {
    setObjectName(QStringLiteral("BandView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(kBandStripHeight + 60);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Click a station's mark to tune the receiver to it"));
}

void BandView::setMarks(std::vector<BandMark> marks, double rangeLowHz, double rangeHighHz) {
    marks_ = std::move(marks);
    rangeLowHz_ = rangeLowHz;
    rangeHighHz_ = rangeHighHz;
    redrawStrip();
    update(0, 0, width(), kBandStripHeight);
}

void BandView::showBlock() { update(0, kBandStripHeight, width(), height() - kBandStripHeight); }

void BandView::redrawStrip() {
    if (strip_.width() != width()) strip_ = QImage(std::max(width(), 1), kBandStripHeight, QImage::Format_RGB32);
    drawBandStrip(strip_, waterfall_, rangeLowHz_, rangeHighHz_, marks_, stripFont());
}

void BandView::resizeEvent(QResizeEvent*) {
    waterfall_.setSize(width(), height() - kBandStripHeight);
    redrawStrip();
}

void BandView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, strip_);
    p.drawImage(0, kBandStripHeight, waterfall_.picture());
    // The search range's edges run down the waterfall too, faintly.
    p.setPen(QColor(255, 255, 0, 110));
    for (double hz : {rangeLowHz_, rangeHighHz_}) {
        const double x = waterfall_.xOf(hz);
        p.drawLine(QPointF(x, kBandStripHeight), QPointF(x, height()));
    }
}

void BandView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const int i = markAt(waterfall_, marks_, event->position().x());
    if (i >= 0) emit markClicked(marks_[static_cast<std::size_t>(i)].id);
}

}  // namespace vantrel::display
