#include "display/mouse_routing.h"

#include <QWidget>

namespace vantrel::display {

void applyPointer(QWidget& client, const MouseAction& action, const QCursor& tuningCursor) {
    if (!action.pointer) return;
    switch (*action.pointer) {
    case MouseAction::Pointer::Tuning: client.setCursor(tuningCursor); break;
    case MouseAction::Pointer::CrossHair: client.setCursor(Qt::CrossCursor); break;
    case MouseAction::Pointer::Standard: client.unsetCursor(); break;
    }
}

std::optional<MeterClick> meterClickAt(const QWidget& client, QPoint clientPos,
                                       const QWidget& meter) {
    const QWidget* hit = client.childAt(clientPos);
    if (hit != &meter && !meter.isAncestorOf(hit)) return std::nullopt;
    const QPoint inMeter = meter.mapFrom(&client, clientPos);
    return MeterClick{inMeter.y(), meter.height()};
}

}  // namespace vantrel::display
