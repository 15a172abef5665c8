// The "&Soundcard" menu: choosing the capture and playback devices and starting the system's
// audio control panel. GUI thread only.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QComboBox;

namespace vantrel::audio {

class AudioEngine;
class MessageBoxes;

inline constexpr int kInputListId = 1300;
inline constexpr int kOutputListId = 1301;
inline constexpr int kInputOkId = 4321;
inline constexpr int kOutputOkId = 5321;
inline constexpr const char* kInputDialogTitle = "Select soundcard input";
inline constexpr const char* kOutputDialogTitle = "Select soundcard output";
inline constexpr const char* kNoInputsText = "You have no audio input devices!";
inline constexpr const char* kNoOutputsText = "You have no audio output devices!";
inline constexpr const char* kWarningCaption = "Warning";
inline constexpr const char* kControlPanelCaption = "Audio control panel";
inline constexpr const char* kNoControlPanelText =
    "No audio control panel was found.\nInstall pavucontrol to set the sound card levels.";

// One device list and "OK". OK is also the default button (Enter). The dialog itself never
// closes on OK: the owner decides (accept()) after acting on the choice.
class DeviceDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Input, Output };
    DeviceDialog(Kind kind, const QStringList& deviceNames, int currentDevice, QWidget* parent = nullptr);

    // Position in the list, or -1 when nothing is selected.
    int selectedDevice() const;
    QComboBox* deviceList() const { return list_; }

signals:
    void okPressed();

private:
    QComboBox* list_ = nullptr;
};

// Names of the system's devices in Qt's order: position = device number.
QStringList systemInputNames();
QStringList systemOutputNames();

class DeviceSelector {
public:
    using NameSource = std::function<QStringList()>;
    DeviceSelector(AudioEngine& engine, MessageBoxes& messages, NameSource inputNames = systemInputNames,
                   NameSource outputNames = systemOutputNames);

    // Command 250: capture is closed while the dialog is open; OK stores the choice and, when
    // receiving, reopens capture on it (the dialog stays open if that fails).
    void selectInputDevice(QWidget* parent);
    // Command 251: playback is closed at once (a transmission in progress returns to receive);
    // OK stores the choice for the next SEND.
    void selectOutputDevice(QWidget* parent);
    // Command 253: starts pavucontrol without waiting; says so when it cannot be started.
    void openAudioControlPanel();

    // Test hook: called with each dialog once it is set up, before it runs.
    void setDialogHook(std::function<void(DeviceDialog&)> hook) { hook_ = std::move(hook); }

private:
    AudioEngine& engine_;
    MessageBoxes& messages_;
    NameSource inputNames_;
    NameSource outputNames_;
    std::function<void(DeviceDialog&)> hook_;
};

}  // namespace vantrel::audio
