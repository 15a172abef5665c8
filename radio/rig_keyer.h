// Hamlib rig control as the station uses it: the operator's choices in force, the radio opened
// and closed by them, SEND's keying and RECV's unkeying passed on when "Key the transmitter
// through Hamlib" is on, the dial reading, and one report when the radio fails. A radio that
// fails or could not be opened is tried again every few seconds; one that answers again is put
// in receive first and reported. Every call returns at once: the radio is driven by its
// RigWorker thread. GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

#include "radio/rig_control.h"
#include "radio/rig_worker.h"

namespace vantrel::radio {

class RigKeyer : public QObject {
    Q_OBJECT
public:
    enum class Link { Off, Connecting, Connected, Failed };

    // How often the dial is read while the radio is connected.
    static constexpr std::chrono::milliseconds kPollInterval{1000};
    // How long close-down waits for the call on its way to the radio to end, and then again for
    // the final unkey itself.
    static constexpr std::chrono::milliseconds kFinalUnkeyLimit{2000};
    // How often a radio that failed is tried again.
    static constexpr std::chrono::milliseconds kRetryInterval{3000};

    explicit RigKeyer(std::unique_ptr<RigControl> rig, QObject* parent = nullptr);
    ~RigKeyer() override;

    const RigSettings& settings() const { return settings_; }
    // At start: keeps the choices and, when Hamlib is on, opens the radio; a failure is reported
    // by problem().
    void start(const RigSettings& settings);
    // Keeps the choices and opens the radio by them (closing the previous one, unkeyed first),
    // or closes it when Hamlib is off. `report` says whether a failure to open goes to problem()
    // (the settings dialog shows it itself).
    void apply(const RigSettings& settings, bool report);

    void keyTransmitter();
    void unkeyTransmitter();
    bool keysTransmitter() const { return settings_.enabled && settings_.keyThrough; }
    // An unkey has been asked for and the radio has not confirmed it yet.
    bool unkeyPending() const { return unkeyPending_; }

    Link link() const { return link_; }
    QString linkError() const { return linkError_; }
    // The last problem reported, for saying it again when SEND is refused.
    QString problemText() const { return problemText_; }
    QString dialText() const { return worker_.dialText(); }
    // The dial in numbers (frequencyHz 0 when unknown), as of the last dialChanged.
    DialReading dial() const { return worker_.dial(); }

    // Close-down: PTT off when keying through Hamlib, waited for at most kFinalUnkeyLimit (or
    // `limit`), then the radio closed. Runs once; later calls do nothing.
    bool shutDown(std::chrono::milliseconds limit = kFinalUnkeyLimit);

signals:
    void linkChanged(vantrel::radio::RigKeyer::Link link);
    void dialChanged(const QString& text);
    // Something the operator must know about the radio; said once per opening.
    void problem(const QString& text);
    // A radio that had failed answers again, and has been put in receive.
    void reconnected(const QString& text);
    // The radio confirmed an unkey.
    void unkeyed();

private:
    void setLink(Link link, const QString& error = {});
    void openRadio();
    void report(const QString& text);

    RigWorker worker_;
    QTimer retry_;
    RigSettings settings_;
    Link link_ = Link::Off;
    QString linkError_;
    QString problemText_;
    bool reportOpenFailure_ = false;
    bool keyed_ = false;
    bool unkeyPending_ = false;
    bool opening_ = false;  // an opening was asked for and has not been answered
    bool shutDown_ = false;
};

}  // namespace vantrel::radio
