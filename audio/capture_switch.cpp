#include "audio/capture_switch.h"

namespace vantrel::audio {

CaptureSwitch::CaptureSwitch(std::unique_ptr<CaptureDevice> soundCard, QObject* parent)
    : CaptureDevice(parent), soundCard_(std::move(soundCard)), active_(soundCard_.get()) {
    forward(*soundCard_);
    forward(recording_);
    connect(&recording_, &RecordingCaptureDevice::finished, this, [this] {
        if (active_ == &recording_) emit recordingEnded();
    });
}

CaptureSwitch::~CaptureSwitch() { close(); }

// Only the device in use speaks for the switch: a late word from the other one is dropped.
void CaptureSwitch::forward(CaptureDevice& device) {
    CaptureDevice* from = &device;
    connect(from, &CaptureDevice::opened, this, [this, from] { if (active_ == from) emit opened(); });
    connect(from, &CaptureDevice::bufferFilled, this, [this, from](int id) { if (active_ == from) emit bufferFilled(id); });
    connect(from, &CaptureDevice::deviceLost, this, [this, from] { if (active_ == from) emit deviceLost(); });
}

bool CaptureSwitch::open(int sampleRate, int deviceIndex) {
    if (isOpen()) return false;
    active_ = armed_ ? static_cast<CaptureDevice*>(&recording_) : soundCard_.get();
    armed_ = false;
    if (active_->open(sampleRate, deviceIndex)) return true;
    if (active_ == &recording_) {
        recording_.unload();
        active_ = soundCard_.get();
    }
    return false;
}

bool CaptureSwitch::queueBuffer(int id, std::span<std::int16_t> buffer) { return active_->queueBuffer(id, buffer); }
void CaptureSwitch::start() { active_->start(); }
void CaptureSwitch::stop() { active_->stop(); }
void CaptureSwitch::reset() { active_->reset(); }

void CaptureSwitch::close() {
    active_->close();
    if (active_ == &recording_) {
        recording_.unload();
        active_ = soundCard_.get();
    }
}

}  // namespace vantrel::audio
