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
    case QEvent::KeyPress: return keyPress(widget, event, key->isAutoRepeat(), key->timestamp());
    default: return keyRelease(widget, key->isAutoRepeat(), key->timestamp());
    }
}

bool ReturnReleaseGuard::keyPress(QWidget* widget, const QEvent* event, bool repeat, quint64 time) {
    // The same press handed on to a parent that may take what its child did not.
    if (event == lastPress_ && lastPressedWidget_ && widget->isAncestorOf(lastPressedWidget_)) return false;
    // A held key repeated as a release and a press of the same moment, which the toolkit does
    // not always recognise: the key never went up.
    if (!repeat && !held_ && time != 0 && time == releasedAt_) {
        held_ = true;
        repeat = true;
    }
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

bool ReturnReleaseGuard::keyRelease(QWidget* widget, bool repeat, quint64 time) {
    if (!held_) return false;
    if (!repeat) {
        held_ = false;
        releasedAt_ = time;
        lastPress_ = nullptr;
    }
    if (widget->window() != window_) {
        strayed_ = true;
        return true;
    }
    if (repeat || !pressedInEntry_ || widget != entry_ || strayed_) return false;
    // Once per press: a release that turns out to be a repeat does not send again.
    strayed_ = true;
    if (onReturn_) onReturn_();
    return false;
}

}  // namespace vantrel::audio
