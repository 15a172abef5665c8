#include "display/snr_meter.h"

#include "display/waterfall.h"

#include <QPainter>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cmath>

namespace vantrel::display {

namespace {

// Readings far outside the meter are drawn as if at its edge; keeps the arithmetic in range.
constexpr int kReadingLimit = 10000;

void horizontalLine(QPainter& painter, int x0, int x1, int y, QRgb colour) {
    if (x1 > x0) painter.fillRect(QRect(x0, y, x1 - x0, 1), QColor::fromRgb(colour));
}

}  // namespace

int LogicalMapping::x(int logical) const {
    return static_cast<int>(std::nearbyint(double(logical) * device_.width() / kMeterLogicalWidth));
}

int LogicalMapping::y(int logical) const {
    return static_cast<int>(std::nearbyint(double(logical) * device_.height() / kMeterLogicalHeight));
}

double LogicalMapping::yScale() const { return double(device_.height()) / kMeterLogicalHeight; }

void paintSnrMeter(QPainter& painter, QSize client, int snrSmoothed, int squelchLevel) {
    const LogicalMapping map(client);
    const int snr = std::clamp(snrSmoothed, -kReadingLimit, kReadingLimit);
    const int squelch = std::clamp(squelchLevel, -kReadingLimit, kReadingLimit);
    painter.fillRect(QRect(QPoint(0, 0), client), QColor::fromRgb(kMeterBackground));

    const int top = map.y(kMeterLogicalHeight - snr);
    const int bottom = map.y(kMeterLogicalHeight);
    if (bottom > top) {
        const QRgb colour = snr >= squelch ? kMeterOpen : kMeterShut;
        painter.fillRect(QRect(0, top, map.x(kMeterLogicalWidth), bottom - top),
                         QColor::fromRgb(colour));
    }
    horizontalLine(painter, 0, map.x(19), map.y(kMeterLogicalHeight - squelch), kMeterSquelchLine);
}

void paintSnrScale(QPainter& painter, QSize client, const QFont& labelFont) {
    const LogicalMapping map(client);
    const QColor axis = QColor::fromRgb(kScaleAxis);
    const int axisX = map.x(10);
    painter.fillRect(QRect(axisX, map.y(1), 1, map.y(82) - map.y(1)), axis);
    for (int tick : {1, 10, 20, 30, 40, 50, 60, 71, 82})
        horizontalLine(painter, axisX, map.x(15), map.y(tick), kScaleAxis);

    // The font's height is in logical units, so it grows with the y axis.
    QFont font = labelFont;
    font.setPixelSize(std::max(1, static_cast<int>(std::nearbyint(labelFont.pixelSize() * map.yScale()))));
    painter.setFont(font);
    painter.setPen(QColor::fromRgb(kScaleLabels));
    const int ascent = QFontMetrics(font).ascent();
    const std::array<const char*, 5> texts{" 40", " 30", " 20", " 10", "  0"};
    const std::array<int, 5> tops{0, 18, 38, 58, 78};
    for (std::size_t i = 0; i < texts.size(); ++i)
        painter.drawText(QPoint(map.x(0), map.y(tops[i]) + ascent), QString::fromLatin1(texts[i]));
}

SnrBar::SnrBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("SnrBar"));
    setProperty("controlId", kSnrBarId);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SnrBar::setReading(int snrSmoothed, int squelchLevel) {
    if (snrSmoothed == snrSmoothed_ && squelchLevel == squelchLevel_) return;
    snrSmoothed_ = snrSmoothed;
    squelchLevel_ = squelchLevel;
    update();
}

void SnrBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSnrMeter(painter, size(), snrSmoothed_, squelchLevel_);
}

SnrScale::SnrScale(QWidget* parent, int logicalDpiY)
    : QWidget(parent), labelFont_(arialFont(6, logicalDpiY)) {
    setObjectName(QStringLiteral("SnrScale"));
    setProperty("controlId", kSnrScaleId);
    setAccessibleName(QStringLiteral("S/N"));
}

void SnrScale::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintSnrScale(painter, size(), labelFont_);
}

}  // namespace vantrel::display
