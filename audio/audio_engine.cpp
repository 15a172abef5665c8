#include "audio/audio_engine.h"

#include <QByteArray>

#include <algorithm>

#include "modem/receiver.h"
#include "modem/rx_decoder.h"
#include "modem/tx_modulator.h"

namespace vantrel::audio {

namespace {
std::string latin1(const QString& text) {
    const QByteArray bytes = text.toLatin1();
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// The frame's characters after the operator's text: 11 spaces and the end sentinel.
constexpr int kFrameTail = 11 + modem::TxModulator::kSentinelLength;
}  // namespace

AudioEngine::AudioEngine(CaptureDevice& capture, PlaybackDevice& playback, modem::TxModulator& modulator,
                         modem::Receiver& receiver, const EnginePorts& ports, QObject* parent)
    : QObject(parent), capture_(capture), playback_(playback), modulator_(modulator), receiver_(receiver), ports_(ports) {
    for (auto& b : captureBuffers_) b.assign(modem::kBlockLength, 0);
    for (auto& b : playbackBuffers_) b.assign(modem::kBlockLength, 0);

    // Every notification becomes its own queued event, tagged with the device session it
    // belongs to: one that arrives after its device was closed (and maybe reopened) is dropped.
    connect(&capture_, &CaptureDevice::opened, this, [this] {
        const int session = captureSession_;
        QMetaObject::invokeMethod(this, [this, session] { if (session == captureSession_) onCaptureOpened(); }, Qt::QueuedConnection);
    });
    connect(&capture_, &CaptureDevice::bufferFilled, this, [this](int id) {
        const int session = captureSession_;
        QMetaObject::invokeMethod(this, [this, session, id] { if (session == captureSession_) onCaptureBlock(id); }, Qt::QueuedConnection);
    });
    connect(&capture_, &CaptureDevice::deviceLost, this, [this] {
        const int session = captureSession_;
        QMetaObject::invokeMethod(this, [this, session] { if (session == captureSession_) onCaptureLost(); }, Qt::QueuedConnection);
    });
    connect(&playback_, &PlaybackDevice::bufferPlayed, this, [this](int id) {
        const int session = playbackSession_;
        QMetaObject::invokeMethod(this, [this, session, id] { if (session == playbackSession_) onPlaybackDone(id); }, Qt::QueuedConnection);
    });
    connect(&playback_, &PlaybackDevice::deviceLost, this, [this] {
        const int session = playbackSession_;
        QMetaObject::invokeMethod(this, [this, session] { if (session == playbackSession_) onPlaybackLost(); }, Qt::QueuedConnection);
    });

    modulator_.setEndOfTransmissionHandler([this] {
        textEnded_ = true;
        receive();
    });
    limitTimer_.setSingleShot(true);
    connect(&limitTimer_, &QTimer::timeout, this, &AudioEngine::timeLimitReached);
    modulator_.setProgressHandler([this](int taken, int length) {
        if (ports_.progress) ports_.progress->showProgress(taken, length);
    });
}

AudioEngine::~AudioEngine() {
    modulator_.setEndOfTransmissionHandler({});
    modulator_.setProgressHandler({});
}

void AudioEngine::setInputDevice(int device) { inputDevice_ = device < 0 ? kDefaultDevice : device; }
void AudioEngine::setOutputDevice(int device) { outputDevice_ = device < 0 ? kDefaultDevice : device; }

void AudioEngine::setProfile(const modem::ModeProfile& profile) {
    profile_ = &profile;
    modulator_.setProfile(profile);
    receiver_.setProfile(profile);
}

bool AudioEngine::captureOpen() const { return capture_.isOpen(); }
bool AudioEngine::playbackOpen() const { return playback_.isOpen(); }
long long AudioEngine::droppedCaptureSamples() const { return capture_.droppedSamples(); }

std::span<const std::int16_t> AudioEngine::playbackBuffer(int id) const {
    return playbackBuffers_.at(static_cast<std::size_t>(id));
}

bool AudioEngine::openCaptureDevice() {
    // A second open of an open device (RECV after a speed change made while transmitting)
    // closes the first one.
    if (capture_.isOpen()) closeCapture();
    ++captureSession_;
    captureQueued_ = {};
    return capture_.open(profile_->sampleRate, inputDevice_);
}

bool AudioEngine::openCapture() {
    if (!openCaptureDevice()) {
        showInputFailure();
        return false;
    }
    capture_.start();
    return true;
}

void AudioEngine::closeCapture() {
    capture_.stop();
    capture_.reset();
    capture_.close();
    ++captureSession_;
    captureQueued_ = {};
}

void AudioEngine::closePlayback() {
    playback_.reset();
    playback_.close();
    ++playbackSession_;
    playbackQueued_ = {};
}

void AudioEngine::showInputFailure() {
    if (ports_.messages) ports_.messages->showMessage(MessageIcon::Error, kInputCaption, kInputFailText);
}

void AudioEngine::unkey() {
    keyed_ = false;
    if (ports_.keyer) ports_.keyer->unkeyTransmitter();
}

void AudioEngine::onCaptureOpened() {
    if (!capture_.isOpen()) return;
    for (int id = 0; id < 2; ++id) {
        auto& queued = captureQueued_[static_cast<std::size_t>(id)];
        if (!queued) queued = capture_.queueBuffer(id, captureBuffers_[static_cast<std::size_t>(id)]);
    }
    capture_.start();
}

void AudioEngine::onCaptureBlock(int id) {
    if (id < 0 || id > 1 || !captureQueued_[static_cast<std::size_t>(id)]) return;
    const auto index = static_cast<std::size_t>(id);
    captureQueued_[index] = false;

    modem::RxSettings settings;
    int squelch = 15;
    if (ports_.station) {
        settings = ports_.station->rxSettings();
        squelch = ports_.station->squelchLevel();
    }
    inputLevel_ = measureInputLevel(captureBuffers_[index]);
    const modem::DecodedChars chars = receiver_.processBlock(captureBuffers_[index], settings, squelch);
    if (ports_.progress) ports_.progress->clearProgressBar();
    if (ports_.receiveSink) {
        ports_.receiveSink->blockAnalysed(receiver_, chars);
        ports_.receiveSink->blockCaptured(captureBuffers_[index]);
    }

    if (capture_.isOpen() && !captureQueued_[index])
        captureQueued_[index] = capture_.queueBuffer(id, captureBuffers_[index]);
}

void AudioEngine::renderPlaybackBuffer(std::size_t index) {
    if (ports_.station) modulator_.refreshNocallIdleText(latin1(ports_.station->callsign()));
    modulator_.renderTxBlock(playbackBuffers_[index]);
    applyGain(playbackBuffers_[index], txGain_);
}

int AudioEngine::renderedCharacters() const {
    // The last character taken may still have nibbles waiting for the next block.
    return modulator_.txTaken() - (modulator_.queuedNibbles() > 0 ? 1 : 0);
}

void AudioEngine::onPlaybackDone(int id) {
    if (id < 0 || id > 1 || !playbackQueued_[static_cast<std::size_t>(id)]) return;
    const auto index = static_cast<std::size_t>(id);
    playbackQueued_[index] = false;
    const int session = playbackSession_;
    played_ = std::max(played_, bufferHolds_[index]);

    // The end sentinel runs RECV from in here; it closes playback, so the buffer is then not
    // queued again.
    renderPlaybackBuffer(index);

    if (session == playbackSession_ && playback_.isOpen()) {
        bufferHolds_[index] = renderedCharacters();
        playbackQueued_[index] = playback_.queueBuffer(id, playbackBuffers_[index]);
    }
}

void AudioEngine::handBackPlaybackBuffers(std::array<bool, 2> queued) {
    // Like a played buffer, each comes back as its own event and is rendered, but never played:
    // the modulator's tone and idle-text position and the characters-remaining line move on as
    // for any returned buffer. A SEND before the event runs owns the buffers again, and a RECV
    // that failed leaves the text where it is for the next RECV.
    const int session = playbackSession_;
    for (std::size_t i = 0; i < queued.size(); ++i) {
        if (!queued[i]) continue;
        QMetaObject::invokeMethod(this, [this, session, i] {
            if (session == playbackSession_ && !transmitting_) renderPlaybackBuffer(i);
        }, Qt::QueuedConnection);
    }
}

void AudioEngine::send() {
    // A SEND while the two buffers circulate would frame a second sentence over the first.
    if (transmitting_ && playback_.isOpen()) return;
    const int squelch = ports_.station ? ports_.station->squelchLevel() : 15;
    if (modem::channelBusy(receiver_.analyzer().snrSmoothed(), squelch)) return;
    if (ports_.keyer && !ports_.keyer->readyToKey()) return;

    closeCapture();
    const QString text = ports_.panes ? ports_.panes->takeText() : QString();
    sentence_ = text;
    textEnded_ = false;
    played_ = 0;
    bufferHolds_ = {};
    if (ports_.panes) ports_.panes->echoSent(text);
    modulator_.start(latin1(text), latin1(ports_.station ? ports_.station->callsign() : QStringLiteral("nocall")));
    transmitting_ = true;
    keyed_ = true;
    if (ports_.keyer) ports_.keyer->keyTransmitter();
    if (ports_.buttons) ports_.buttons->setRecvEnabled(true);

    ++playbackSession_;
    playbackQueued_ = {};
    if (!playback_.open(profile_->sampleRate, outputDevice_)) {
        // Nothing will be played: the radio goes back to receive at once, and the sentence
        // counts as not taken, so the entry keeps it for the next SEND.
        unkey();
        if (ports_.panes) ports_.panes->transmissionCut(modulator_.sentTextLength(), 0);
        modulator_.stop();
        if (ports_.messages) ports_.messages->showMessage(MessageIcon::Error, kOutputCaption, kOutputFailText);
        return;
    }
    if (ports_.panes) ports_.panes->focusEntry();
    // The two lead-in buffers are silence, whatever the last transmission left in them.
    for (std::size_t i = 0; i < 2; ++i) {
        std::fill(playbackBuffers_[i].begin(), playbackBuffers_[i].end(), std::int16_t{0});
        playbackQueued_[i] = playback_.queueBuffer(static_cast<int>(i), playbackBuffers_[i]);
    }
    if (ports_.buttons) ports_.buttons->setSendEnabled(false);
    if (timeLimit_.count() > 0) limitTimer_.start(timeLimit_);
}

void AudioEngine::receive() {
    limitTimer_.stop();
    const std::array<bool, 2> handedBack = playbackQueued_;
    closePlayback();
    handBackPlaybackBuffers(handedBack);
    if (!openCaptureDevice()) {
        // The radio must not stay keyed while the operator finds a working input.
        unkey();
        showInputFailure();
        return;
    }
    transmitting_ = false;
    // What was still queued when playback closed never reached the air: only the text played
    // whole counts as sent, unless the modulator went through to the end of it.
    const int count = modulator_.sentTextLength();
    const int textStart = modulator_.txLength() - kFrameTail - count;
    const int sent = textEnded_ ? count : std::clamp(played_ - textStart, 0, count);
    if (ports_.panes) {
        if (sent == count)
            ports_.panes->dropSentPrefix(count);
        else
            ports_.panes->transmissionCut(count, sent);
        ports_.panes->transmissionEnded(sentence_.left(sent));
    }
    modulator_.stop();
    unkey();
    if (ports_.buttons) ports_.buttons->setSendEnabled(true);
    capture_.start();
    if (ports_.buttons) ports_.buttons->setRecvEnabled(false);
    if (ports_.panes) ports_.panes->focusEntry();
}

bool AudioEngine::changeSpeed(const modem::ModeProfile& profile) {
    closeCapture();
    closePlayback();
    for (auto& b : playbackBuffers_) b.assign(modem::kBlockLength, 0);
    setProfile(profile);
    if (transmitting_) {
        // Playback cannot go on at the new rate: the transmission ends here, as with RECV.
        receive();
        return capture_.isOpen();
    }
    return openCapture();
}

void AudioEngine::timeLimitReached() {
    if (!transmitting_) return;
    // Off the air first; the notice waits for nobody.
    receive();
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(timeLimit_).count();
    const QString limit = minutes == 1 ? QStringLiteral("1 minute")
                          : minutes > 1 ? QStringLiteral("%1 minutes").arg(minutes)
                                        : QStringLiteral("%1 ms").arg(timeLimit_.count());
    if (ports_.messages)
        ports_.messages->showNotice(QString::fromLatin1(kTimeLimitCaption),
                                    QStringLiteral("The transmission reached the time limit of %1 and was ended.\n\n"
                                                   "Options, \"Transmit time limit...\" sets the limit.").arg(limit));
}

void AudioEngine::shutDown() {
    limitTimer_.stop();
    closeCapture();
    closePlayback();
    if (transmitting_ || keyed_) unkey();
    transmitting_ = false;
}

void AudioEngine::onCaptureLost() {
    if (!capture_.isOpen()) return;
    closeCapture();
    if (ports_.messages) ports_.messages->showMessage(MessageIcon::Error, kInputCaption, kInputLostText);
}

void AudioEngine::onPlaybackLost() {
    if (!playback_.isOpen()) return;
    if (!transmitting_) {
        closePlayback();
        return;
    }
    // Off the air first, then tell the operator, then back to receive (which says so in turn
    // if the input is gone as well).
    closePlayback();
    unkey();
    if (ports_.messages) ports_.messages->showMessage(MessageIcon::Error, kOutputCaption, kOutputLostText);
    if (transmitting_) receive();
}

}  // namespace vantrel::audio
