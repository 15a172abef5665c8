#include "radio/rig_keyer.h"

#include "radio/serial_lists.h"

namespace vantrel::radio {

RigKeyer::RigKeyer(std::unique_ptr<RigControl> rig, QObject* parent) : QObject(parent), worker_(std::move(rig)) {
    connect(&worker_, &RigWorker::opened, this, [this](bool ok, const QString& error) {
        setLink(ok ? Link::Connected : Link::Failed, error);
        if (!ok && reportOpenFailure_)
            emit problem(QStringLiteral("The radio could not be opened through Hamlib:\n%1\n\n"
                                        "Receiving goes on; keying and the dial reading through Hamlib are off "
                                        "until the radio is applied again in Options, \"Rig control (Hamlib)\".")
                             .arg(error));
    });
    connect(&worker_, &RigWorker::radioLost, this, [this](const QString& error) {
        setLink(Link::Failed, error);
        emit problem(QStringLiteral("The radio stopped answering Hamlib:\n%1\n\n"
                                    "Receiving and sending go on; press APPLY in Options, \"Rig control (Hamlib)\" "
                                    "to reconnect.")
                         .arg(error));
    });
    connect(&worker_, &RigWorker::dialChanged, this, &RigKeyer::dialChanged);
    worker_.setPollInterval(kPollInterval);
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
    if (!settings_.enabled) {
        worker_.close();
        setLink(Link::Off);
        return;
    }
    setLink(Link::Connecting);
    worker_.open(RigConfig{settings_.model, devicePathForPort(settings_.port), settings_.serialSpeed});
}

void RigKeyer::keyTransmitter() {
    if (shutDown_ || !keysTransmitter()) return;
    keyed_ = true;
    worker_.setPtt(true);
}

void RigKeyer::unkeyTransmitter() {
    if (shutDown_ || !keysTransmitter()) return;
    keyed_ = false;
    worker_.setPtt(false);
}

bool RigKeyer::shutDown(std::chrono::milliseconds limit) {
    if (shutDown_) return true;
    shutDown_ = true;
    const bool done = worker_.shutDown(keysTransmitter() || keyed_, limit);
    keyed_ = false;
    return done;
}

void RigKeyer::setLink(Link link, const QString& error) {
    linkError_ = link == Link::Failed ? error : QString();
    if (link == link_) return;
    link_ = link;
    emit linkChanged(link_);
}

}  // namespace vantrel::radio
