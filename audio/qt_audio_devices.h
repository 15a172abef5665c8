// Capture and playback on Qt Multimedia (QMediaDevices, QAudioSource, QAudioSink). Both run on
// the GUI thread: Qt delivers captured audio there; a queued playback buffer goes to the sink at
// once (a short poll timer writes what the sink could not take yet and watches the played time).
// A playback buffer is reported played when the sink's processed time has passed its last
// sample, so the end of a transmission is heard in full before RECV.
#pragma once

#include <QAudioDevice>
#include <QByteArray>
#include <QIODevice>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <memory>

#include "audio/audio_device.h"

class QAudioSource;
class QAudioSink;
class QMediaDevices;

namespace vantrel::audio {

// The device at `index` of the system's list, or the default device for -1; a null
// QAudioDevice when the index does not exist.
QAudioDevice audioInputAt(int index);
QAudioDevice audioOutputAt(int index);

// Whole frames a sink has played after `processedUSecs` microseconds, to the nearest frame: the
// sink's time is itself rounded down from a frame count, so rounding down again would leave a
// drained stream one frame short of its end (at 11025 and 22050 Hz).
long long framesPlayed(long long processedUSecs, int sampleRate);

class QtCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    explicit QtCaptureDevice(QObject* parent = nullptr);
    ~QtCaptureDevice() override;

    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<std::int16_t> buffer) override;
    void start() override;
    void stop() override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return source_ != nullptr; }
    // Never drops: what the queued buffers cannot take stays with the sound server.
    long long droppedSamples() const override { return 0; }

private:
    struct Pending {
        int id;
        std::span<std::int16_t> buffer;
        std::size_t filled;
    };
    void readAvailable();
    void checkState();
    void checkDeviceList();

    std::unique_ptr<QAudioSource> source_;
    QPointer<QIODevice> io_;  // owned by the source or sink, which may drop it on an error
    QAudioDevice device_;
    int sampleRate_ = 0;
    std::deque<Pending> queue_;
    QByteArray partial_;  // an odd byte left over between reads
    bool recording_ = false;
    bool lost_ = false;
    QMediaDevices* devices_ = nullptr;
};

class QtPlaybackDevice : public PlaybackDevice {
    Q_OBJECT
public:
    explicit QtPlaybackDevice(QObject* parent = nullptr);
    ~QtPlaybackDevice() override;

    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<const std::int16_t> buffer) override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return sink_ != nullptr; }
    // Samples handed to the sound server since the device was opened: what it holds for us.
    long long framesHandedOver() const { return framesHandedOver_; }

private:
    struct Queued {
        int id;
        QByteArray bytes;
        long long endFrame;  // frames written to the sink up to and including this buffer
    };
    void pump();
    void checkState();
    void checkDeviceList();

    std::unique_ptr<QAudioSink> sink_;
    QPointer<QIODevice> io_;  // owned by the source or sink, which may drop it on an error
    QAudioDevice device_;
    int sampleRate_ = 0;
    std::deque<Queued> queue_;
    std::size_t writeOffset_ = 0;  // bytes of queue_.front() (first unwritten) already written
    std::size_t nextToWrite_ = 0;  // index in queue_ of the first buffer not fully written
    long long framesQueued_ = 0;
    long long framesHandedOver_ = 0;
    QTimer pumpTimer_;
    bool lost_ = false;
    QMediaDevices* devices_ = nullptr;
};

}  // namespace vantrel::audio
