// A recording played into the receiver: a capture device whose samples come from an audio file
// (any format and rate libsndfile reads, first channel, converted to the capture rate) at the
// pace a sound card would deliver them. GUI thread only; a short timer paces the delivery.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <deque>
#include <memory>
#include <vector>

#include "audio/audio_device.h"

namespace vantrel::cli {
class AudioInput;
}

namespace vantrel::audio {

class RecordingCaptureDevice : public CaptureDevice {
    Q_OBJECT
public:
    explicit RecordingCaptureDevice(QObject* parent = nullptr);
    ~RecordingCaptureDevice() override;

    // Readies `path` to be played at `sampleRate` (Hz). Returns an empty string, or why the file
    // cannot be played, in words for the operator; a failed load leaves nothing loaded.
    QString load(const QString& path, int sampleRate);
    bool loaded() const { return input_ != nullptr; }
    const QString& path() const { return path_; }
    // Forgets the loaded file (closes the device first).
    void unload();
    // Multiple of real time to play at; 1 (real time) unless a test wants it faster.
    void setPace(double factor) { pace_ = factor > 0 ? factor : 1.0; }

    // Refused unless a file is loaded; a rate other than the loaded one reads the file again
    // at the new rate. The device index is not used.
    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<std::int16_t> buffer) override;
    void start() override;
    void stop() override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return open_; }
    // A recording waits for the receiver instead of dropping samples.
    long long droppedSamples() const override { return 0; }

signals:
    // The whole recording has been delivered: the last buffer (completed with silence) has been
    // reported filled before this.
    void finished();

private:
    struct Pending {
        int id;
        std::span<std::int16_t> buffer;
        std::size_t filled = 0;
    };
    void deliverDue();
    // Takes up to `wanted` samples into the front buffer; returns how many it took (0 at the end).
    long long fillFront(long long wanted);
    void finish();

    std::unique_ptr<cli::AudioInput> input_;
    QString path_;
    int loadedRate_ = 0;
    double pace_ = 1.0;

    bool open_ = false;
    bool started_ = false;
    bool endOfFile_ = false;
    std::deque<Pending> queue_;
    std::vector<std::int16_t> chunk_;  // read from the file, not yet delivered
    std::size_t chunkPos_ = 0;
    QTimer timer_;
    QElapsedTimer clock_;               // since the last start()
    long long deliveredSinceStart_ = 0;
};

}  // namespace vantrel::audio
