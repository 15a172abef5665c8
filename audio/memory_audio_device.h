// In-memory capture and playback devices for tests: they fill and play buffers only when told
// to, and keep a log of every call so tests can check the order of effects. Notifications are
// still posted as queued events, exactly as the real devices do.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

#include "audio/audio_device.h"

namespace vantrel::audio {

// Shared by the devices and a test's fakes: one line per effect, in order.
using EffectLog = std::function<void(const QString&)>;

class MemoryCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    explicit MemoryCaptureDevice(QObject* parent = nullptr) : CaptureDevice(parent) {}

    bool failOpen = false;  // the next opens fail while set
    void setLog(EffectLog log) { log_ = std::move(log); }

    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<std::int16_t> buffer) override;
    void start() override;
    void stop() override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return open_; }
    long long droppedSamples() const override { return dropped_; }

    // Feeds samples as the sound card would: into the queued buffers in order, a notification
    // for each buffer filled; what finds no buffer (or a stopped device) is dropped.
    void deliver(std::span<const std::int16_t> samples);
    bool recording() const { return open_ && started_; }
    int queuedCount() const { return static_cast<int>(queue_.size()); }
    int openCount() const { return openCount_; }
    int sampleRate() const { return sampleRate_; }
    int deviceIndex() const { return deviceIndex_; }
    // Pretends the device vanished.
    void loseDevice();

private:
    struct Pending {
        int id;
        std::span<std::int16_t> buffer;
        std::size_t filled = 0;
    };
    void note(const QString& what) const {
        if (log_) log_(what);
    }
    EffectLog log_;
    bool open_ = false;
    bool started_ = false;
    int sampleRate_ = 0;
    int deviceIndex_ = kDefaultDevice;
    int openCount_ = 0;
    std::deque<Pending> queue_;
    long long dropped_ = 0;
};

class MemoryPlaybackDevice : public PlaybackDevice {
    Q_OBJECT
public:
    explicit MemoryPlaybackDevice(QObject* parent = nullptr) : PlaybackDevice(parent) {}

    bool failOpen = false;
    void setLog(EffectLog log) { log_ = std::move(log); }

    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<const std::int16_t> buffer) override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return open_; }

    // Plays the oldest queued buffer: its samples go to played(), its notification is posted.
    // Returns false when nothing is queued.
    bool playNext();
    const std::vector<std::int16_t>& played() const { return played_; }
    int queuedCount() const { return static_cast<int>(queue_.size()); }
    int sampleRate() const { return sampleRate_; }
    int deviceIndex() const { return deviceIndex_; }
    void loseDevice();

private:
    struct Queued {
        int id;
        std::vector<std::int16_t> samples;
    };
    void note(const QString& what) const {
        if (log_) log_(what);
    }
    EffectLog log_;
    bool open_ = false;
    int sampleRate_ = 0;
    int deviceIndex_ = kDefaultDevice;
    std::deque<Queued> queue_;
    std::vector<std::int16_t> played_;
};

}  // namespace vantrel::audio
