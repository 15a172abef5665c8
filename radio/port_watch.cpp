#include "radio/port_watch.h"

#include "radio/ptt_controller.h"

namespace vantrel::radio {

PortWatch::PortWatch(PttController& ptt, QObject* parent) : QObject(parent), ptt_(ptt)
{
    retry_.setInterval(kRetryInterval);
    connect(&retry_, &QTimer::timeout, this, &PortWatch::retry);
    ptt_.setLostHandler([this] {
        retry_.start();
        emit lost();
    });
}

PortWatch::~PortWatch() { ptt_.setLostHandler({}); }

void PortWatch::retry()
{
    if (!ptt_.portLost()) {
        retry_.stop();
        return;
    }
    if (!ptt_.reopen()) return;
    retry_.stop();
    emit reconnected();
}

}  // namespace vantrel::radio
