// The sound card as the engine sees it: one capture and one playback device, 16-bit mono at a
// given sample rate, driven by buffers the engine owns. Implementations report back through
// the signals below; the engine connects them with Qt::QueuedConnection, so a notification is
// always handled as its own event on the GUI thread, never nested in the call that caused it.
// Calls on a closed device are refused (return false or do nothing), never fatal.
#pragma once

#include <QObject>

#include <cstdint>
#include <span>

namespace vantrel::audio {

inline constexpr int kDefaultDevice = -1;  // the system's default device

class CaptureDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // deviceIndex: position in the system's list of inputs, or kDefaultDevice. On success the
    // device emits opened() later.
    virtual bool open(int sampleRate, int deviceIndex) = 0;
    // The device fills the whole buffer, then emits bufferFilled(id). The memory must stay valid
    // until then or until reset()/close(). Refused when closed or when id is already queued.
    virtual bool queueBuffer(int id, std::span<std::int16_t> buffer) = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    // Forgets every queued buffer; no notification follows for them.
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Samples that arrived while no buffer was queued, since the device was made.
    virtual long long droppedSamples() const = 0;

signals:
    void opened();
    void bufferFilled(int id);
    // The device stopped delivering for a reason of its own (server gone, device unplugged).
    void deviceLost();
};

class PlaybackDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool open(int sampleRate, int deviceIndex) = 0;
    // The samples are taken as they are now; bufferPlayed(id) follows once the sound card has
    // played the last of them. Refused when closed or when id is already queued.
    virtual bool queueBuffer(int id, std::span<const std::int16_t> buffer) = 0;
    // Forgets every queued buffer; no notification follows for them. What the sound card
    // already holds stops with close().
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

signals:
    void opened();
    void bufferPlayed(int id);
    void deviceLost();
};

}  // namespace vantrel::audio
