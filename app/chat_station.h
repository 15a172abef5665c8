// The long-lived components of the chat window and the wiring between them: transmitter,
// receiver, sound-card engine and device dialogs, keying, and the receive display. The main
// window routes commands here; the engine reaches the window's controls through the ports
// implemented here. GUI thread only.
#pragma once

#include <QCursor>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "app/settings.h"
#include "audio/audio_device.h"
#include "audio/engine_ports.h"
#include "display/tuning_mouse.h"
#include "display/waterfall.h"
#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "modem/tx_modulator.h"
#include "radio/keying_guardian.h"
#include "radio/message_presenter.h"
#include "radio/port_watch.h"
#include "radio/ptt_controller.h"
#include "radio/rig_control.h"
#include "radio/rig_keyer.h"
#include "radio/serial_link.h"

class QMessageBox;
class QMouseEvent;
class QWidget;

namespace vantrel::audio {
class AudioEngine;
class CaptureSwitch;
class DeviceSelector;
}  // namespace vantrel::audio

namespace vantrel::display {
class DisplayOverlay;
class RemainingBar;
class SnrBar;
class SnrScale;
}  // namespace vantrel::display

namespace vantrel::app {

class BandWatch;
class MainDialog;
class OperatorDesk;

inline constexpr const char* kPlayRecordingCaption = "Play a recording";
inline constexpr const char* kPttPortCaption = "PTT port";
inline constexpr const char* kRigCaption = "Rig control (Hamlib)";

// The hardware behind the station; anything left empty is the real one (Qt Multimedia, Qt
// SerialPort). Tests hand in the in-memory doubles.
struct StationParts {
    std::unique_ptr<audio::CaptureDevice> capture;
    std::unique_ptr<audio::PlaybackDevice> playback;
    std::unique_ptr<radio::SerialLink> serial;
    std::function<QStringList()> inputNames;
    std::function<QStringList()> outputNames;
    std::unique_ptr<radio::RigControl> rig;  // empty: Hamlib
};

radio::PortSettings portSettingsOf(const AppSettings& settings);
radio::RigSettings rigSettingsOf(const AppSettings& settings);
void storeRigSettings(const radio::RigSettings& rig, AppSettings& settings);
void storePortSettings(const radio::PortSettings& port, AppSettings& settings);

class ChatStation : private audio::Keyer,
                    private audio::ChatPanes,
                    private audio::ButtonStates,
                    private audio::ProgressDisplay,
                    private audio::ReceiveSink,
                    private audio::StationInfo,
                    private audio::MessageBoxes {
public:
    ChatStation(MainDialog& dialog, StationParts parts);
    ~ChatStation() override;
    ChatStation(const ChatStation&) = delete;
    ChatStation& operator=(const ChatStation&) = delete;

    // The display's widgets for the main window's controls.
    QWidget* createSnrBar(QWidget* parent);
    QWidget* createSnrScale(QWidget* parent);
    QWidget* createRemainingBar(QWidget* parent);
    // The picture over the right-hand column (waterfall, scale, timing panel).
    QWidget* createWaterfallView(QWidget* parent);

    // The window's initialisation: transmitter and receiver reset, display surfaces, capture.
    // With a `recording`, capture plays it first and the sound card opens only at its end (or
    // at once, after a message, when the file cannot be played).
    void initialise(const QString& recording = {});
    void send();
    void receive();
    // Tunes receiver and transmitter to `hz` as a drag does, scale and readout redrawn.
    void setTuningFrequency(int hz);
    // Audio closed and reopened at the new rate, then the scale redrawn (skipped when capture
    // could not be opened).
    void changeSpeed(const modem::ModeProfile& profile);
    // Plays an audio file into the receiver in place of the sound card's input until it ends,
    // or until RECV, SEND, a speed change or a new input device; then the sound card is back.
    // A file that cannot be played gets a message and changes nothing. False when refused.
    bool playRecording(const QString& path);
    void selectInputDevice();
    void selectOutputDevice();
    void openAudioControlPanel();
    void openPortSettings();
    void closeSerialPort();
    void openRigSettings();
    // A call sign from the dialog (also when cancelled), and the one it offered: the idle-text
    // rule of the transmitter.
    void callsignChanged(const QString& previous, const QString& callsign);
    // Copies what the components keep (devices, port) into the record before it is written.
    void storeSettings(AppSettings& settings) const;
    // A transmission running this many minutes is ended by RECV; 0: no limit.
    void setTimeLimitMinutes(int minutes);
    // Close-down: both sound devices closed, the transmitter unkeyed, the port closed; the
    // keying guardian is told goodbye once every way of keying is confirmed unkeyed.
    void shutDown();

    // The main window's mouse, in client coordinates; `onMeter` when the press hit the S/N bar.
    void mouseMoved(int x, int y);
    void leftButtonDown(bool onMeter, int meterY);
    void leftButtonUp();
    // Tunes as a drag that ends at `tuningFrequency` does (the signal browser's stations).
    void tuneTo(int tuningFrequency);
    // The main receiver's search range, Hz.
    std::pair<double, double> searchRange() const;
    // The signal browser's receivers, fed every captured block while they run.
    BandWatch& bandWatch() { return *band_; }

    int tuningFrequency() const { return tuningFrequency_; }
    // What the receiver reads on every block: tuning, capture range, attack, sensitive receive.
    modem::RxSettings currentRxSettings() const { return rxSettings(); }
    modem::TxModulator& modulator() { return modulator_; }
    modem::Receiver& receiver() { return receiver_; }
    audio::AudioEngine& engine() { return *engine_; }
    radio::PttController& ptt() { return ptt_; }
    radio::RigKeyer& rig() { return *rig_; }
    const radio::RigKeyer& rig() const { return *rig_; }
    OperatorDesk& desk() { return *desk_; }
    display::Waterfall& waterfall() { return waterfall_; }
    audio::CaptureDevice& captureDevice();
    audio::CaptureSwitch& captureSwitch() { return *capture_; }
    audio::PlaybackDevice& playbackDevice() { return *playback_; }
    audio::DeviceSelector& deviceSelector() { return *selector_; }
    // Where the PTT settings dialog reports (tests record instead of blocking).
    void setPresenter(radio::MessagePresenter* presenter);

private:
    // audio ports
    void keyTransmitter() override;
    void unkeyTransmitter() override;
    bool readyToKey() override;
    void echoSent(const QString& text) override;
    QString takeText() const override;
    void dropSentPrefix(int count) override;
    void transmissionCut(int count, int sent) override;
    void transmissionEnded(const QString& sent) override;
    void focusEntry() override;
    void setSendEnabled(bool enabled) override;
    void setRecvEnabled(bool enabled) override;
    void showProgress(int txTaken, int txLength) override;
    void clearProgressBar() override;
    void blockAnalysed(const modem::Receiver& receiver, const modem::DecodedChars& chars) override;
    void blockCaptured(std::span<const std::int16_t> block) override;
    QString callsign() const override;
    modem::RxSettings rxSettings() const override;
    int squelchLevel() const override;
    void showMessage(audio::MessageIcon icon, const QString& caption, const QString& text) override;
    void showNotice(const QString& caption, const QString& text) override;

    void apply(const display::MouseAction& action);
    void connectRadio();
    // The way of keying has gone away: a transmission in progress goes back to receive.
    void keyingLost();
    QString portLostText() const;
    void guardianUnkeyed();

    MainDialog& dialog_;
    modem::TxModulator modulator_;
    modem::Receiver receiver_;
    bool loadRecording(const QString& path);
    void recordingEnded();
    // The status line's word on the recording: playing, ended, or stopped by the operator.
    void refreshRecordingState();
    void openPortAtStart();
    QString recordingShown_;        // the recording the status line says is playing
    bool recordingFinished_ = false;  // it played to its end

    std::unique_ptr<audio::CaptureSwitch> capture_;
    std::unique_ptr<audio::PlaybackDevice> playback_;
    std::unique_ptr<audio::AudioEngine> engine_;
    std::unique_ptr<audio::DeviceSelector> selector_;
    radio::PttController ptt_;
    std::unique_ptr<radio::PortWatch> portWatch_;
    std::unique_ptr<radio::RigKeyer> rig_;
    radio::KeyingGuardian guardian_;
    std::map<QString, QPointer<QMessageBox>> notices_;  // by caption
    radio::QtMessagePresenter ownPresenter_;
    radio::MessagePresenter* presenter_ = &ownPresenter_;
    display::Waterfall waterfall_;
    display::TuningMouse mouse_;
    int tuningFrequency_ = modem::kDefaultTuningFrequency;
    int meterHeight_ = 0;  // the S/N bar's height when the window was made, pixels
    QCursor tuningCursor_;
    QPointer<display::DisplayOverlay> overlay_;
    QPointer<display::SnrBar> snrBar_;
    QPointer<display::RemainingBar> remainingBar_;
    std::unique_ptr<BandWatch> band_;
    std::unique_ptr<OperatorDesk> desk_;  // last: it refers to the components above
};

}  // namespace vantrel::app
