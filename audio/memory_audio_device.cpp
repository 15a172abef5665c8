#include "audio/memory_audio_device.h"

#include <algorithm>

namespace vantrel::audio {

bool MemoryCaptureDevice::open(int sampleRate, int deviceIndex) {
    note(QStringLiteral("capture open"));
    if (open_ || failOpen) return false;
    open_ = true;
    started_ = false;
    sampleRate_ = sampleRate;
    deviceIndex_ = deviceIndex;
    ++openCount_;
    emit opened();
    return true;
}

bool MemoryCaptureDevice::queueBuffer(int id, std::span<std::int16_t> buffer) {
    if (!open_ || std::any_of(queue_.begin(), queue_.end(), [id](const Pending& p) { return p.id == id; })) return false;
    queue_.push_back({id, buffer, 0});
    return true;
}

void MemoryCaptureDevice::start() {
    if (!open_) return;
    if (!started_) note(QStringLiteral("capture start"));
    started_ = true;
}

void MemoryCaptureDevice::stop() {
    if (open_) started_ = false;
}

void MemoryCaptureDevice::reset() {
    if (!open_) return;
    started_ = false;
    queue_.clear();
}

void MemoryCaptureDevice::close() {
    if (!open_) return;
    note(QStringLiteral("capture close"));
    open_ = false;
    started_ = false;
    queue_.clear();
}

void MemoryCaptureDevice::deliver(std::span<const std::int16_t> samples) {
    if (!recording()) {
        dropped_ += static_cast<long long>(samples.size());
        return;
    }
    std::size_t at = 0;
    while (at < samples.size()) {
        if (queue_.empty()) {
            dropped_ += static_cast<long long>(samples.size() - at);
            return;
        }
        Pending& p = queue_.front();
        const std::size_t n = std::min(samples.size() - at, p.buffer.size() - p.filled);
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(at), n, p.buffer.begin() + static_cast<std::ptrdiff_t>(p.filled));
        p.filled += n;
        at += n;
        if (p.filled == p.buffer.size()) {
            const int id = p.id;
            queue_.pop_front();
            emit bufferFilled(id);
        }
    }
}

void MemoryCaptureDevice::loseDevice() {
    if (open_) emit deviceLost();
}

bool MemoryPlaybackDevice::open(int sampleRate, int deviceIndex) {
    note(QStringLiteral("playback open"));
    if (open_ || failOpen) return false;
    open_ = true;
    sampleRate_ = sampleRate;
    deviceIndex_ = deviceIndex;
    emit opened();
    return true;
}

bool MemoryPlaybackDevice::queueBuffer(int id, std::span<const std::int16_t> buffer) {
    if (!open_ || std::any_of(queue_.begin(), queue_.end(), [id](const Queued& q) { return q.id == id; })) return false;
    queue_.push_back({id, {buffer.begin(), buffer.end()}});
    return true;
}

void MemoryPlaybackDevice::reset() {
    if (open_) queue_.clear();
}

void MemoryPlaybackDevice::close() {
    if (!open_) return;
    note(QStringLiteral("playback close"));
    open_ = false;
    queue_.clear();
}

bool MemoryPlaybackDevice::playNext() {
    if (!open_ || queue_.empty()) return false;
    Queued q = std::move(queue_.front());
    queue_.pop_front();
    played_.insert(played_.end(), q.samples.begin(), q.samples.end());
    emit bufferPlayed(q.id);
    return true;
}

void MemoryPlaybackDevice::loseDevice() {
    if (open_) emit deviceLost();
}

}  // namespace vantrel::audio
