#include "audio/qt_audio_devices.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

#include "modem/mode_profile.h"

namespace vantrel::audio {

namespace {

constexpr int kBytesPerSample = 2;
constexpr int kPumpIntervalMs = 10;
// The sound server is asked to hold both blocks the engine keeps queued, so that a stall of the
// GUI thread shorter than one block is never heard. Qt's default (about 145 ms on PulseAudio)
// runs dry within the first fifth of a block.
constexpr qsizetype kServerBufferBytes = 2 * qsizetype{modem::kBlockLength} * kBytesPerSample;

// Captured sound is handed over in pieces of this size. Left to the server, PipeWire's
// PulseAudio front delivers it in two-second bursts, more than the engine's two blocks hold, and
// PulseAudio every 50 ms, waking its thread and ours 20 times a second for a receiver that works
// on whole blocks: half a block wakes both twice a block.
constexpr qsizetype kCaptureFragmentBytes = qsizetype{modem::kBlockLength} / 2 * kBytesPerSample;

QAudioFormat monoInt16(int sampleRate) {
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QAudioDevice deviceAt(const QList<QAudioDevice>& list, const QAudioDevice& fallback, int index) {
    if (index < 0) return fallback;
    if (index >= list.size()) return {};
    return list.at(index);
}

bool stillListed(const QList<QAudioDevice>& list, const QAudioDevice& device) {
    return std::any_of(list.begin(), list.end(), [&device](const QAudioDevice& d) { return d.id() == device.id(); });
}

// An error state other than running dry means the stream is gone.
bool streamFailed(QAudio::State state, QAudio::Error error) {
    return state == QAudio::StoppedState && error != QAudio::NoError && error != QAudio::UnderrunError;
}

}  // namespace

long long framesPlayed(long long processedUSecs, int sampleRate) {
    return (processedUSecs * sampleRate + 500'000) / 1'000'000;
}

QAudioDevice audioInputAt(int index) {
    return deviceAt(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), index);
}

QAudioDevice audioOutputAt(int index) {
    return deviceAt(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), index);
}

QtCaptureDevice::QtCaptureDevice(QObject* parent) : CaptureDevice(parent), devices_(new QMediaDevices(this)) {
    connect(devices_, &QMediaDevices::audioInputsChanged, this, &QtCaptureDevice::checkDeviceList);
}

QtCaptureDevice::~QtCaptureDevice() { close(); }

bool QtCaptureDevice::open(int sampleRate, int deviceIndex) {
    if (source_) return false;
    const QAudioDevice device = audioInputAt(deviceIndex);
    if (device.isNull()) return false;
    auto source = std::make_unique<QAudioSource>(device, monoInt16(sampleRate));
    source->setBufferSize(kCaptureFragmentBytes);
    QIODevice* io = source->start();
    if (!io || source->error() != QAudio::NoError || source->state() == QAudio::StoppedState) return false;
    source_ = std::move(source);
    io_ = io;
    device_ = device;
    sampleRate_ = sampleRate;
    lost_ = false;
    recording_ = false;
    partial_.clear();
    connect(io_, &QIODevice::readyRead, this, &QtCaptureDevice::readAvailable);
    connect(source_.get(), &QAudioSource::stateChanged, this, &QtCaptureDevice::checkState);
    emit opened();
    return true;
}

bool QtCaptureDevice::queueBuffer(int id, std::span<std::int16_t> buffer) {
    if (!source_ || std::any_of(queue_.begin(), queue_.end(), [id](const Pending& p) { return p.id == id; })) return false;
    queue_.push_back({id, buffer, 0});
    // What the server held back while no buffer was free is taken now, as an event of its own.
    QMetaObject::invokeMethod(this, &QtCaptureDevice::readAvailable, Qt::QueuedConnection);
    return true;
}

void QtCaptureDevice::start() {
    if (source_) recording_ = true;
}

void QtCaptureDevice::stop() { recording_ = false; }

void QtCaptureDevice::reset() {
    recording_ = false;
    queue_.clear();
    partial_.clear();
}

void QtCaptureDevice::close() {
    if (!source_) return;
    queue_.clear();
    partial_.clear();
    recording_ = false;
    source_->disconnect(this);
    if (io_) io_->disconnect(this);
    source_->stop();
    source_.reset();
    io_ = nullptr;
}

void QtCaptureDevice::readAvailable() {
    if (!io_) return;
    if (!recording_) {
        io_->readAll();  // a stopped device records nothing
        return;
    }
    // Only what the queued buffers can take is read: the rest waits with the server until the
    // engine queues the next buffer, so a burst after a stall is never thrown away.
    while (!queue_.empty() && io_) {
        Pending& p = queue_.front();
        const qint64 room = static_cast<qint64>((p.buffer.size() - p.filled) * kBytesPerSample);
        QByteArray bytes = partial_ + io_->read(room - partial_.size());
        partial_.clear();
        const qsizetype whole = bytes.size() / kBytesPerSample * kBytesPerSample;
        if (whole < bytes.size()) partial_ = bytes.mid(whole);
        std::memcpy(p.buffer.data() + p.filled, bytes.constData(), static_cast<std::size_t>(whole));
        p.filled += static_cast<std::size_t>(whole / kBytesPerSample);
        if (p.filled < p.buffer.size()) return;  // the server has nothing more for now
        const int id = p.id;
        queue_.pop_front();
        emit bufferFilled(id);
    }
}

void QtCaptureDevice::checkState() {
    if (source_ && !lost_ && streamFailed(source_->state(), source_->error())) {
        lost_ = true;
        emit deviceLost();
    }
}

void QtCaptureDevice::checkDeviceList() {
    if (source_ && !lost_ && !stillListed(QMediaDevices::audioInputs(), device_)) {
        lost_ = true;
        emit deviceLost();
    }
}

QtPlaybackDevice::QtPlaybackDevice(QObject* parent) : PlaybackDevice(parent), devices_(new QMediaDevices(this)) {
    connect(devices_, &QMediaDevices::audioOutputsChanged, this, &QtPlaybackDevice::checkDeviceList);
    pumpTimer_.setInterval(kPumpIntervalMs);
    connect(&pumpTimer_, &QTimer::timeout, this, &QtPlaybackDevice::pump);
}

QtPlaybackDevice::~QtPlaybackDevice() { close(); }

bool QtPlaybackDevice::open(int sampleRate, int deviceIndex) {
    if (sink_) return false;
    const QAudioDevice device = audioOutputAt(deviceIndex);
    if (device.isNull()) return false;
    auto sink = std::make_unique<QAudioSink>(device, monoInt16(sampleRate));
    sink->setBufferSize(kServerBufferBytes);
    QIODevice* io = sink->start();
    if (!io || sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) return false;
    sink_ = std::move(sink);
    io_ = io;
    device_ = device;
    sampleRate_ = sampleRate;
    lost_ = false;
    queue_.clear();
    nextToWrite_ = 0;
    writeOffset_ = 0;
    framesQueued_ = 0;
    framesHandedOver_ = 0;
    connect(sink_.get(), &QAudioSink::stateChanged, this, &QtPlaybackDevice::checkState);
    pumpTimer_.start();
    emit opened();
    return true;
}

bool QtPlaybackDevice::queueBuffer(int id, std::span<const std::int16_t> buffer) {
    if (!sink_ || std::any_of(queue_.begin(), queue_.end(), [id](const Queued& q) { return q.id == id; })) return false;
    framesQueued_ += static_cast<long long>(buffer.size());
    queue_.push_back({id, QByteArray(reinterpret_cast<const char*>(buffer.data()), static_cast<qsizetype>(buffer.size_bytes())), framesQueued_});
    pump();
    return true;
}

void QtPlaybackDevice::reset() {
    if (!sink_) return;
    queue_.clear();
    nextToWrite_ = 0;
    writeOffset_ = 0;
}

void QtPlaybackDevice::close() {
    pumpTimer_.stop();
    if (!sink_) return;
    reset();
    sink_->disconnect(this);
    sink_->reset();  // drops what the sound server still holds: the sound stops at once
    sink_.reset();
    io_ = nullptr;
}

void QtPlaybackDevice::pump() {
    if (!sink_ || !io_) return;
    // Everything queued goes to the sink at once, in queue order: the sink takes what its server
    // will hold (on PulseAudio, both blocks, whatever bytesFree says); the rest waits for the
    // next turn.
    while (nextToWrite_ < queue_.size()) {
        Queued& q = queue_[nextToWrite_];
        const qsizetype left = q.bytes.size() - static_cast<qsizetype>(writeOffset_);
        const qint64 written = io_->write(q.bytes.constData() + writeOffset_, left);
        if (written <= 0) break;
        writeOffset_ += static_cast<std::size_t>(written);
        framesHandedOver_ += written / kBytesPerSample;
        if (static_cast<qsizetype>(writeOffset_) < q.bytes.size()) break;
        ++nextToWrite_;
        writeOffset_ = 0;
    }
    // A buffer is done when the sound card has played its last sample.
    const long long processedFrames = framesPlayed(sink_->processedUSecs(), sampleRate_);
    while (!queue_.empty() && nextToWrite_ > 0 && queue_.front().endFrame <= processedFrames) {
        const int id = queue_.front().id;
        queue_.pop_front();
        --nextToWrite_;
        emit bufferPlayed(id);
        if (!sink_) return;
    }
}

void QtPlaybackDevice::checkState() {
    if (sink_ && !lost_ && streamFailed(sink_->state(), sink_->error())) {
        lost_ = true;
        emit deviceLost();
    }
}

void QtPlaybackDevice::checkDeviceList() {
    if (sink_ && !lost_ && !stillListed(QMediaDevices::audioOutputs(), device_)) {
        lost_ = true;
        emit deviceLost();
    }
}

}  // namespace vantrel::audio
