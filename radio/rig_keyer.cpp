#include "radio/rig_keyer.h"

#include "radio/serial_lists.h"

namespace vantrel::radio {

RigKeyer::RigKeyer(std::unique_ptr<RigControl> rig, QObject* parent) : QObject(parent), worker_(std::move(rig)) {
    connect(&worker_, &RigWorker::opened, this, [this](bool ok, const QString& error) {
        opening_ = false;
        const bool wasFailed = link_ == Link::Failed;
        setLink(ok ? Link::Connected : Link::Failed, error);
        if (ok) {
            retry_.stop();
            if (wasFailed) emit reconnected(QStringLiteral("The radio answers Hamlib again: reconnected, and set to receive."));
            return;
        }
        retry_.start();
        if (reportOpenFailure_)
            report(QStringLiteral("The radio could not be opened through Hamlib:\n%1\n\n").arg(error) +
                   (keysTransmitter() ? QStringLiteral("Receiving goes on; sending waits until the radio answers. ")
                                      : QStringLiteral("Receiving and sending go on. ")) +
                   QStringLiteral("The program tries it again every few seconds."));
        reportOpenFailure_ = false;
    });
    connect(&worker_, &RigWorker::radioLost, this, [this](const QString& error) {
        setLink(Link::Failed, error);
        retry_.start();
        report(QStringLiteral("The radio stopped answering Hamlib:\n%1\n\n").arg(error) +
               (keysTransmitter() ? QStringLiteral("The transmission was ended, and sending waits until the radio answers "
                                                   "again. ")
                                  : QStringLiteral("Receiving and sending go on. ")) +
               QStringLiteral("The program tries to reach it every few seconds."));
    });
    connect(&worker_, &RigWorker::pttAnswered, this, [this](bool on, bool ok) {
        if (on || !ok || keyed_) return;
        unkeyPending_ = false;
        emit unkeyed();
    });
    connect(&worker_, &RigWorker::dialChanged, this, &RigKeyer::dialChanged);
    worker_.setPollInterval(kPollInterval);
    retry_.setInterval(kRetryInterval);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (shutDown_ || !settings_.enabled || link_ != Link::Failed) {
            retry_.stop();
            return;
        }
        // A radio still busy with the last try is not asked again.
        if (!opening_) openRadio();
    });
}

RigKeyer::~RigKeyer() { shutDown(); }

void RigKeyer::start(const RigSettings& settings) { apply(settings, true); }

void RigKeyer::apply(const RigSettings& settings, bool report) {
    if (shutDown_) return;
    // The radio that was keyed is unkeyed before it is let go.
    if (keyed_) worker_.setPtt(false);
    keyed_ = false;
    settings_ = settings;
    reportOpenFailure_ = report;
    retry_.stop();
    if (!settings_.enabled) {
        worker_.close();
        unkeyPending_ = false;
        setLink(Link::Off);
        return;
    }
    setLink(Link::Connecting);
    openRadio();
}

void RigKeyer::openRadio() {
    opening_ = true;
    worker_.open(RigConfig{settings_.model, devicePathForPort(settings_.port), settings_.serialSpeed});
    // Whatever keyed the radio before (a crash, another program) is undone first.
    if (keysTransmitter()) {
        unkeyPending_ = true;
        worker_.setPtt(false);
    }
}

void RigKeyer::keyTransmitter() {
    if (shutDown_ || !keysTransmitter()) return;
    keyed_ = true;
    worker_.setPtt(true);
}

void RigKeyer::unkeyTransmitter() {
    if (shutDown_ || !keysTransmitter()) return;
    keyed_ = false;
    unkeyPending_ = true;
    worker_.setPtt(false);
}

bool RigKeyer::shutDown(std::chrono::milliseconds limit) {
    if (shutDown_) return true;
    shutDown_ = true;
    retry_.stop();
    const bool done = worker_.shutDown(keysTransmitter() || keyed_, limit);
    keyed_ = false;
    if (done) unkeyPending_ = false;
    return done;
}

void RigKeyer::report(const QString& text) {
    problemText_ = text;
    emit problem(text);
}

void RigKeyer::setLink(Link link, const QString& error) {
    linkError_ = link == Link::Failed ? error : QString();
    if (link == link_) return;
    link_ = link;
    emit linkChanged(link_);
}

}  // namespace vantrel::radio
