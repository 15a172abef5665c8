// The sound-card engine: the block cycle in both directions and the switching between receive
// and transmit (SEND, RECV, speed change, close-down). Lives on the GUI thread; every public
// call comes from there (menu commands, buttons, the modulator's end of transmission).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "audio/audio_device.h"
#include "audio/engine_ports.h"
#include "audio/sample_levels.h"
#include "modem/mode_profile.h"

namespace vantrel::modem {
class TxModulator;
class Receiver;
}  // namespace vantrel::modem

namespace vantrel::audio {

// Message texts and captions the operator sees.
inline constexpr const char* kInputFailText = "Can't open soundcard for input";
inline constexpr const char* kInputCaption = "INPUT";
inline constexpr const char* kOutputFailText = "Can't open soundcard for output";
inline constexpr const char* kOutputCaption = "OUTPUT";
inline constexpr const char* kInputLostText = "The soundcard input has stopped";
inline constexpr const char* kOutputLostText = "The soundcard output has stopped";
inline constexpr const char* kTimeLimitCaption = "Transmit time limit";

class AudioEngine : public QObject {
    Q_OBJECT
public:
    // The engine installs the modulator's end-of-transmission and progress handlers. Devices,
    // modulator, receiver and every port must outlive the engine.
    AudioEngine(CaptureDevice& capture, PlaybackDevice& playback, modem::TxModulator& modulator,
                modem::Receiver& receiver, const EnginePorts& ports, QObject* parent = nullptr);
    ~AudioEngine() override;

    // Device numbers: position in the system's list, or -1 for the default device.
    // A negative value is stored as -1.
    int inputDevice() const { return inputDevice_; }
    int outputDevice() const { return outputDevice_; }
    void setInputDevice(int device);
    void setOutputDevice(int device);

    const modem::ModeProfile& profile() const { return *profile_; }
    // Sets the profile without touching the devices (start-up, before openCapture).
    void setProfile(const modem::ModeProfile& profile);

    // Start-up and the input dialog: opens capture on inputDevice and starts recording.
    // On failure shows "Can't open soundcard for input" and returns false.
    bool openCapture();
    // Stops recording and closes capture (a no-op when it is closed).
    void closeCapture();
    // Closes playback; a transmission in progress falls silent but stays keyed until RECV.
    void closePlayback();

    // "SEND" (313): receive to transmit. Refused silently while the channel is busy.
    void send();
    // "RECV" (314) and the modulator's end of transmission: transmit to receive. Only what has
    // been played counts as sent: the rest of a sentence stopped early stays in the entry.
    void receive();
    // A transmission that runs this long is ended by RECV, with a notice; zero: no limit.
    void setTimeLimit(std::chrono::milliseconds limit) { timeLimit_ = limit; }
    // The audio side of a speed change: modulator and receiver take the new profile, the
    // devices are closed, capture reopens at the new rate. Returns false (after the message)
    // when capture did not open: the caller then skips the rest of its speed change.
    bool changeSpeed(const modem::ModeProfile& profile);
    // Close-down: both devices closed; a transmission in progress is unkeyed.
    void shutDown();

    // The transmit level, -30..0 dB of the modulator's amplitude (0 leaves its samples as
    // they are); from the next rendered block on.
    void setTransmitLevelDb(int db) { txGain_ = gainFromDb(db); }
    // Peak and overload of the last captured block.
    const InputLevel& inputLevel() const { return inputLevel_; }

    bool transmitting() const { return transmitting_; }
    bool captureOpen() const;
    bool playbackOpen() const;
    // Captured samples dropped because no buffer was queued.
    long long droppedCaptureSamples() const;
    // The two playback buffers (for tests and diagnostics).
    std::span<const std::int16_t> playbackBuffer(int id) const;

private:
    void onCaptureOpened();
    void onCaptureBlock(int id);
    void onPlaybackDone(int id);
    void renderPlaybackBuffer(std::size_t index);
    // RECV's close hands back the buffers still queued: they are rendered later, not played.
    void handBackPlaybackBuffers(std::array<bool, 2> queued);
    void onCaptureLost();
    void onPlaybackLost();
    bool openCaptureDevice();
    void showInputFailure();
    void unkey();
    void timeLimitReached();
    // Characters of the transmit string rendered whole so far.
    int renderedCharacters() const;

    CaptureDevice& capture_;
    PlaybackDevice& playback_;
    modem::TxModulator& modulator_;
    modem::Receiver& receiver_;
    EnginePorts ports_;

    const modem::ModeProfile* profile_ = &modem::defaultProfile();
    int inputDevice_ = kDefaultDevice;
    int outputDevice_ = kDefaultDevice;
    bool transmitting_ = false;
    QString sentence_;  // the entry's text that SEND took, for transmissionEnded
    bool keyed_ = false;
    double txGain_ = 1.0;
    InputLevel inputLevel_;
    bool textEnded_ = false;  // the modulator met the end of the text: all of it went out
    int played_ = 0;          // characters of the transmit string played whole
    std::array<int, 2> bufferHolds_{};  // characters rendered whole up to each playback buffer's end
    std::chrono::milliseconds timeLimit_{0};
    QTimer limitTimer_;

    std::array<std::vector<std::int16_t>, 2> captureBuffers_;
    std::array<std::vector<std::int16_t>, 2> playbackBuffers_;
    std::array<bool, 2> captureQueued_{};
    std::array<bool, 2> playbackQueued_{};
    int captureSession_ = 0;   // bumped at every open and close: older notifications are stale
    int playbackSession_ = 0;
};

}  // namespace vantrel::audio
