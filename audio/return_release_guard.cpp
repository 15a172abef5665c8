#include "audio/return_release_guard.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTimer>

namespace vantrel::audio {

namespace {

bool isReturnKey(const QEvent* event, QEvent::Type type) {
    if (event->type() != type) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    return !key->isAutoRepeat() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
}

// Eats the next release of Return anywhere in the program, then goes. Gives up at the next
// key press or after a second, so a release lost elsewhere never eats a later one.
class ReleaseSwallower : public QObject {
public:
    ReleaseSwallower() : QObject(QCoreApplication::instance()) {
        QCoreApplication::instance()->installEventFilter(this);
        QTimer::singleShot(1000, this, &QObject::deleteLater);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (isReturnKey(event, QEvent::KeyRelease)) {
            deleteLater();
            QCoreApplication::instance()->removeEventFilter(this);
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            deleteLater();
            QCoreApplication::instance()->removeEventFilter(this);
        }
        return false;
    }
};

}  // namespace

ReturnReleaseGuard::ReturnReleaseGuard(QWidget* modal) : modal_(modal) {
    if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

ReturnReleaseGuard::~ReturnReleaseGuard() {
    if (auto* app = QCoreApplication::instance()) {
        app->removeEventFilter(this);
        if (pressed_) new ReleaseSwallower;
    }
}

bool ReturnReleaseGuard::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !modal_ || (widget != modal_ && !modal_->isAncestorOf(widget))) return false;
    if (isReturnKey(event, QEvent::KeyPress)) pressed_ = true;
    if (isReturnKey(event, QEvent::KeyRelease)) pressed_ = false;
    return false;
}

}  // namespace vantrel::audio
