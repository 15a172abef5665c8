#include "display/remaining_bar.h"

#include "modem/tx_modulator.h"

#include <QPainter>
#include <QVariant>

#include <array>

namespace vantrel::display {

namespace {

constexpr int kLines = 13;
constexpr std::array<int, kLines> kGreen{130, 150, 170, 195, 225, 250, -1, 250, 225, 195, 170, 150, 130};

}  // namespace

QRgb remainingBarLineColour(int line) {
    if (line < 0 || line >= kLines) return qRgb(0, 0, 0);
    const int g = kGreen[std::size_t(line)];
    return g < 0 ? qRgb(255, 255, 255) : qRgb(0, g, 0);
}

void paintRemainingBar(QPainter& painter, QRect client, const QColor& background,
                       std::optional<int> length) {
    painter.fillRect(client, background);
    if (!length || *length <= 0) return;
    painter.save();
    painter.setClipRect(client);
    // Each 2-pixel line covers its own row and the one below; the next line overdraws that.
    for (int line = 0; line < kLines; ++line)
        painter.fillRect(QRect(client.left(), client.top() + line, *length, 2),
                         QColor::fromRgb(remainingBarLineColour(line)));
    painter.restore();
}

RemainingBar::RemainingBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("RemainingBar"));
    setProperty("controlId", kRemainingBarId);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
}

void RemainingBar::setProgress(int txTaken, int txLength) {
    // Called after every received block: an unchanged bar is not drawn again.
    if (txTaken == txTaken_ && txLength == txLength_) return;
    txTaken_ = txTaken;
    txLength_ = txLength;
    update();
}

std::optional<int> RemainingBar::barLength() const {
    return modem::progressBarLength(txTaken_, txLength_, contentsRect().width());
}

void RemainingBar::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    paintRemainingBar(painter, contentsRect(), palette().color(QPalette::Window), barLength());
}

}  // namespace vantrel::display
