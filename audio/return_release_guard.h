// Return in the transmit entry means SEND, on the key's release. A Return held a little too
// long over a menu, a box or a dialog that takes its press and closes would hand its
// auto-repeats and its release to the entry. The guard follows every Return from its first
// press, application-wide, whatever the focus does: only a Return pressed and released in the
// entry, none of it having reached another window, runs the entry's action; the repeats and the
// release of a Return that went down in one window are dropped in every other window they
// reach. A Return in the entry inserts nothing. A SEND from a click or a shortcut is no Return
// and is never held back. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace vantrel::audio {

class ReturnReleaseGuard : public QObject {
public:
    // Watches the application for as long as `entry` lives (the guard is its child).
    ReturnReleaseGuard(QWidget* entry, std::function<void()> onReturn);
    ~ReturnReleaseGuard() override;
    ReturnReleaseGuard(const ReturnReleaseGuard&) = delete;
    ReturnReleaseGuard& operator=(const ReturnReleaseGuard&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyPress(QWidget* widget, const QEvent* event, bool repeat, quint64 time);
    bool keyRelease(QWidget* widget, bool repeat, quint64 time);

    QPointer<QWidget> entry_;
    std::function<void()> onReturn_;
    bool held_ = false;             // a Return is down
    QPointer<QWidget> window_;      // the window its press went to
    bool pressedInEntry_ = false;
    bool strayed_ = false;          // some of it reached another window, or it has sent
    quint64 releasedAt_ = 0;        // when the last release came, in the window system's time
    const QEvent* lastPress_ = nullptr;  // the press being delivered, to know its propagation
    QPointer<QWidget> lastPressedWidget_;
};

}  // namespace vantrel::audio
