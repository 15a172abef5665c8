#include "audio/return_release_guard.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace vantrel::audio {

ReturnReleaseGuard::ReturnReleaseGuard(QWidget* entry, std::function<void()> onReturn)
    : QObject(entry), entry_(entry), onReturn_(std::move(onReturn)) {
    if (auto* app = QCoreApplication::instance()) app->installEventFilter(this);
}

ReturnReleaseGuard::~ReturnReleaseGuard() {
    if (auto* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

bool ReturnReleaseGuard::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
    // Key events reach the window system's window first, then the widget: only the widget counts.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    switch (type) {
    case QEvent::ShortcutOverride:
        if (widget != entry_) return false;
        event->accept();  // Return belongs to the entry, not to a default button
        return true;
    case QEvent::KeyPress: return keyPress(widget, event, key->isAutoRepeat());
    default: return keyRelease(widget, key->isAutoRepeat());
    }
}

bool ReturnReleaseGuard::keyPress(QWidget* widget, const QEvent* event, bool repeat) {
    // The same press handed on to a parent that may take what its child did not.
    if (event == lastPress_ && lastPressedWidget_ && widget->isAncestorOf(lastPressedWidget_)) return false;
    if (!repeat) {
        held_ = true;
        window_ = widget->window();
        pressedInEntry_ = widget == entry_;
        strayed_ = false;
        lastPress_ = event;
        lastPressedWidget_ = widget;
        return pressedInEntry_;
    }
    // A repeat of a Return held since before the program saw it, or from another window.
    if (!held_ || widget->window() != window_) {
        strayed_ = true;
        return true;
    }
    return widget == entry_;
}

bool ReturnReleaseGuard::keyRelease(QWidget* widget, bool repeat) {
    if (!held_) return false;
    if (widget->window() != window_) {
        strayed_ = true;
        if (!repeat) held_ = false;
        return true;
    }
    if (repeat) return false;
    held_ = false;
    lastPress_ = nullptr;
    if (pressedInEntry_ && widget == entry_ && !strayed_ && onReturn_) onReturn_();
    return false;
}

}  // namespace vantrel::audio
