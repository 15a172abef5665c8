// One worker thread that owns the radio behind a RigControl and runs every call to it, in the
// order asked: open, key, unkey, dial reading, close; except that keying and unkeying go ahead of
// the dial readings still queued, so they wait for one radio round trip at most. The GUI thread
// only queues requests and gets the answers back as queued signals, so a radio that is slow or
// has stopped answering never holds up the window. The one wait is shutDown's, bounded, for the
// final unkey at close-down.
//
// The object lives on the GUI thread and every member is called from there.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <memory>

#include "radio/rig_control.h"

namespace vantrel::radio {

class RigWorker : public QObject {
    Q_OBJECT
public:
    explicit RigWorker(std::unique_ptr<RigControl> rig, QObject* parent = nullptr);
    ~RigWorker() override;  // shutDown with the default bound
    RigWorker(const RigWorker&) = delete;
    RigWorker& operator=(const RigWorker&) = delete;

    // Opens the radio (a previous one is closed first); the answer comes as opened().
    void open(const RigConfig& config);
    void close();
    // PTT on or off, after every opening, closing and keying queued before it, ahead of the
    // readings. Does nothing on a closed radio.
    void setPtt(bool on);
    // Asks for one dial reading (frequency, then mode), unless one is still on its way or no
    // radio was opened.
    void poll();
    // Reads the dial every `interval` while a radio is open; zero stops the reading.
    void setPollInterval(std::chrono::milliseconds interval);

    // True from a successful open() answer until close(), the next open() or a shut-down.
    bool isConnected() const { return connected_; }
    // The last dial reading, formatted; empty when none or not connected.
    QString dialText() const { return dialText_; }
    // The same reading as numbers; frequencyHz 0 when there is none.
    DialReading dial() const { return dial_; }

    // Close-down: pending readings and keying dropped, PTT off when `unkey`, the radio closed,
    // the thread ended. The call already on its way to the radio gets at most `limit` to end,
    // then the unkey and the closing get at most `limit` of their own. True when all of it was
    // done within the bounds and the radio confirmed the unkey; a thread still stuck in the
    // radio is left to end on its own.
    bool shutDown(bool unkey, std::chrono::milliseconds limit = std::chrono::seconds(2));

signals:
    void opened(bool ok, const QString& error);
    void dialChanged(const QString& text);  // empty: nothing to show
    // The open radio stopped answering: said once per open(), however many calls fail after.
    void radioLost(const QString& error);
    void pttAnswered(bool on, bool ok);

private:
    struct Shared;
    struct Request;
    struct Reply;
    void enqueue(Request request);
    void received(const Reply& reply);
    void setDial(const QString& text);
    void readingFailed(const QString& error);

    std::shared_ptr<Shared> shared_;
    QTimer pollTimer_;
    unsigned generation_ = 0;  // counts open()/close(); answers for an older one are dropped
    bool opening_ = false;
    bool connected_ = false;
    bool lostReported_ = false;
    bool pollPending_ = false;
    bool shutDown_ = false;
    QString dialText_;
    DialReading dial_;
};

}  // namespace vantrel::radio
