#include "audio/recording_capture_device.h"

#include <algorithm>
#include <cmath>

#include "cli/audio_file.h"

namespace vantrel::audio {

namespace {
constexpr int kPaceIntervalMs = 25;
}

RecordingCaptureDevice::RecordingCaptureDevice(QObject* parent) : CaptureDevice(parent) {
    timer_.setInterval(kPaceIntervalMs);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &RecordingCaptureDevice::deliverDue);
}

RecordingCaptureDevice::~RecordingCaptureDevice() = default;

QString RecordingCaptureDevice::load(const QString& path, int sampleRate) {
    auto input = std::make_unique<cli::AudioInput>();
    if (!input->open(path.toStdString(), sampleRate)) return QString::fromStdString(input->error());
    if (input->frames() <= 0) return path + QStringLiteral(" holds no audio");
    // Only a file that can be played replaces the one loaded before.
    unload();
    input_ = std::move(input);
    path_ = path;
    loadedRate_ = sampleRate;
    endOfFile_ = false;
    chunk_.clear();
    chunkPos_ = 0;
    return {};
}

void RecordingCaptureDevice::unload() {
    close();
    input_.reset();
    path_.clear();
    loadedRate_ = 0;
}

bool RecordingCaptureDevice::open(int sampleRate, int) {
    if (open_ || !input_) return false;
    if (sampleRate != loadedRate_ && !load(QString(path_), sampleRate).isEmpty()) return false;
    open_ = true;
    started_ = false;
    queue_.clear();
    emit opened();
    return true;
}

bool RecordingCaptureDevice::queueBuffer(int id, std::span<std::int16_t> buffer) {
    if (!open_ || buffer.empty() || std::any_of(queue_.begin(), queue_.end(), [id](const Pending& p) { return p.id == id; }))
        return false;
    queue_.push_back({id, buffer, 0});
    return true;
}

void RecordingCaptureDevice::start() {
    if (!open_ || started_ || endOfFile_) return;
    started_ = true;
    clock_.start();
    deliveredSinceStart_ = 0;
    timer_.start();
}

void RecordingCaptureDevice::stop() {
    started_ = false;
    timer_.stop();
}

void RecordingCaptureDevice::reset() { queue_.clear(); }

void RecordingCaptureDevice::close() {
    stop();
    queue_.clear();
    open_ = false;
}

long long RecordingCaptureDevice::fillFront(long long wanted) {
    if (chunkPos_ >= chunk_.size()) {
        const auto next = input_->next();
        chunk_.assign(next.begin(), next.end());
        chunkPos_ = 0;
        if (chunk_.empty()) {
            endOfFile_ = true;
            return 0;
        }
    }
    Pending& front = queue_.front();
    const auto count = static_cast<std::size_t>(
        std::min<long long>({wanted, static_cast<long long>(chunk_.size() - chunkPos_),
                             static_cast<long long>(front.buffer.size() - front.filled)}));
    std::copy_n(chunk_.begin() + static_cast<std::ptrdiff_t>(chunkPos_), count,
                front.buffer.begin() + static_cast<std::ptrdiff_t>(front.filled));
    chunkPos_ += count;
    front.filled += count;
    return static_cast<long long>(count);
}

void RecordingCaptureDevice::deliverDue() {
    if (!open_ || !started_ || !input_) return;
    const double seconds = static_cast<double>(clock_.nsecsElapsed()) * 1e-9;
    long long due = std::llround(seconds * loadedRate_ * pace_) - deliveredSinceStart_;
    // With no buffer queued the recording waits: the receiver hears all of it, late rather
    // than with a gap.
    while (due > 0 && !queue_.empty() && !endOfFile_) {
        const long long taken = fillFront(due);
        due -= taken;
        deliveredSinceStart_ += taken;
        if (queue_.front().filled == queue_.front().buffer.size()) {
            const int id = queue_.front().id;
            queue_.pop_front();
            emit bufferFilled(id);
            if (!open_) return;
        }
    }
    if (endOfFile_) finish();
}

void RecordingCaptureDevice::finish() {
    stop();
    // The tail of the recording still reaches the receiver, padded with silence to a block.
    if (!queue_.empty() && queue_.front().filled > 0) {
        Pending front = queue_.front();
        queue_.pop_front();
        std::fill(front.buffer.begin() + static_cast<std::ptrdiff_t>(front.filled), front.buffer.end(), std::int16_t{0});
        emit bufferFilled(front.id);
    }
    emit finished();
}

}  // namespace vantrel::audio
