// The long-lived components of the chat window and the wiring between them: transmitter,
// receiver, sound-card engine, keying, and the display's widgets. The main window routes
// commands here; the engine reaches the window's controls through the ports implemented here.
// GUI thread only.
#pragma once

#include <QString>

#include "app/settings.h"
#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "modem/tx_modulator.h"

class QWidget;

namespace vantrel::app {

class MainDialog;

class ChatStation {
public:
    explicit ChatStation(MainDialog& dialog);
    ~ChatStation();
    ChatStation(const ChatStation&) = delete;
    ChatStation& operator=(const ChatStation&) = delete;

    // The display's widgets for the main window's controls (plain frames where none is made).
    QWidget* createSnrBar(QWidget* parent);
    QWidget* createSnrScale(QWidget* parent);
    QWidget* createRemainingBar(QWidget* parent);
    // The picture over the right-hand column (waterfall, scale, sync panel); may be nullptr.
    QWidget* createWaterfallView(QWidget* parent);

    // The window's initialisation: transmitter and receiver reset, display surfaces, capture.
    void initialise();
    void send();
    void receive();
    // Audio closed and reopened at the new rate, then the scale redrawn (skipped when capture
    // could not be opened).
    void changeSpeed(const modem::ModeProfile& profile);
    void selectInputDevice();
    void selectOutputDevice();
    void openAudioControlPanel();
    void openPortSettings();
    void closeSerialPort();
    // A call sign from the dialog (also when cancelled): the idle-text rule of the transmitter.
    void callsignChanged(const QString& callsign);
    // Copies what the components keep (devices, port) into the record before it is written.
    void storeSettings(AppSettings& settings) const;
    // Close-down: both sound devices closed, the transmitter unkeyed.
    void shutDown();

    modem::TxModulator& modulator() { return modulator_; }
    modem::Receiver& receiver() { return receiver_; }

private:
    MainDialog& dialog_;
    modem::TxModulator modulator_;
    modem::Receiver receiver_;
};

}  // namespace vantrel::app
