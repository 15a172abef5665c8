// A modal box that closes on the press of Return leaves the key's release to whatever has the
// focus next, usually the transmit entry, where the release of Return means SEND. The guard
// watches a modal box for its lifetime; if the box goes away between the press and the release,
// that one release is swallowed. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace vantrel::audio {

class ReturnReleaseGuard : public QObject {
public:
    explicit ReturnReleaseGuard(QWidget* modal);
    ~ReturnReleaseGuard() override;
    ReturnReleaseGuard(const ReturnReleaseGuard&) = delete;
    ReturnReleaseGuard& operator=(const ReturnReleaseGuard&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> modal_;
    bool pressed_ = false;  // Return went down inside the box and has not come up yet
};

}  // namespace vantrel::audio
