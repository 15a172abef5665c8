// The capture device the engine drives: the sound card, or for one run a recording played in
// its place. Arming a loaded recording makes the next open() play it; closing it (SEND, RECV,
// a speed change, a new input device, the program's end) drops it, so the open after that is
// the sound card again. The engine sees one device either way. GUI thread only.
#pragma once

#include <memory>

#include "audio/audio_device.h"
#include "audio/recording_capture_device.h"

namespace vantrel::audio {

class CaptureSwitch : public CaptureDevice {
    Q_OBJECT
public:
    explicit CaptureSwitch(std::unique_ptr<CaptureDevice> soundCard, QObject* parent = nullptr);
    ~CaptureSwitch() override;

    CaptureDevice& soundCard() { return *soundCard_; }
    RecordingCaptureDevice& recording() { return recording_; }
    // The next open() plays the loaded recording instead of opening the sound card.
    void armRecording() { armed_ = recording_.loaded(); }
    bool recordingArmed() const { return armed_; }
    // The recording is the device open now.
    bool playingRecording() const { return active_ == &recording_ && recording_.isOpen(); }

    bool open(int sampleRate, int deviceIndex) override;
    bool queueBuffer(int id, std::span<std::int16_t> buffer) override;
    void start() override;
    void stop() override;
    void reset() override;
    void close() override;
    bool isOpen() const override { return active_->isOpen(); }
    long long droppedSamples() const override { return soundCard_->droppedSamples(); }

signals:
    // The recording has been played to its end; the sound card is not reopened by this class.
    void recordingEnded();

private:
    void forward(CaptureDevice& device);

    std::unique_ptr<CaptureDevice> soundCard_;
    RecordingCaptureDevice recording_;
    CaptureDevice* active_ = nullptr;
    bool armed_ = false;
};

}  // namespace vantrel::audio
