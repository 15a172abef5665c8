// Shows the signal browser's WideWaterfall with its strip of scale, search range and station
// marks, and turns a click on a station's mark (or on its band in the waterfall) into that
// station's id. Paints only from the surfaces; GUI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include <vector>

#include "display/wide_waterfall.h"

namespace vantrel::display {

class BandView : public QWidget {
    Q_OBJECT
public:
    // `waterfall` must outlive the view; the view sizes it to its own area below the strip.
    BandView(WideWaterfall& waterfall, QWidget* parent = nullptr);

    // The stations and the main receiver's search range to mark (Hz); drawn at the next paint.
    void setMarks(std::vector<BandMark> marks, double rangeLowHz, double rangeHighHz);
    // After WideWaterfall::addBlock.
    void showBlock();
    const std::vector<BandMark>& marks() const { return marks_; }

    QSize sizeHint() const override { return {900, 260}; }

signals:
    void markClicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void redrawStrip();

    WideWaterfall& waterfall_;
    QImage strip_;
    std::vector<BandMark> marks_;
    double rangeLowHz_ = 0, rangeHighHz_ = 0;
};

}  // namespace vantrel::display
