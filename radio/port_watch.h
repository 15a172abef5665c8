// Keeps the PTT port in service when its device comes and goes (a USB adapter dropping out):
// the loss is passed on once, then the same port is tried every few seconds until it opens
// again, the receive command first, which is passed on too. Closing the port (the settings
// dialog, Exit) ends the tries. GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

namespace vantrel::radio {

class PttController;

class PortWatch : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRetryInterval{3000};

    // `ptt` must outlive the watch.
    explicit PortWatch(PttController& ptt, QObject* parent = nullptr);
    ~PortWatch() override;

signals:
    void lost();
    void reconnected();

private:
    void retry();

    PttController& ptt_;
    QTimer retry_;
};

}  // namespace vantrel::radio
