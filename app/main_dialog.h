// The main window: owns every control and the long-lived components, lays the controls out on
// every resize, and routes commands (menus, buttons, attack options) to the component that does
// the work. It holds no modem, audio or keying logic of its own. GUI thread only.
#pragma once

#include <QDir>
#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>

#include "app/chat_station.h"
#include "app/help_page.h"
#include "app/settings.h"
#include "app/station_prefs.h"
#include "audio/engine_ports.h"
#include "modem/mode_profile.h"

class QAbstractButton;
class QActionGroup;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShortcut;

namespace vantrel::audio {
class ReturnReleaseGuard;
}

namespace vantrel::app {

class HelpViewer;
class RxScreen;
class SignalBrowser;
class StatusLine;
class TxEntry;

class MainDialog : public QMainWindow {
    Q_OBJECT
public:
    // The input box, replaceable so tests can answer it: (prompt, title, default) -> text.
    using Prompter = std::function<QString(const QString&, const QString&, const QString&)>;
    // The file chooser of "Play a recording into the receiver...": a path, or empty when cancelled.
    using RecordingChooser = std::function<QString()>;

    // `settingsPath` is where the close-down writes the settings; empty writes nothing.
    // `parts` chooses the hardware (empty: the real sound card and serial port).
    MainDialog(AppSettings settings, QString settingsPath, StationParts parts = {}, QWidget* parent = nullptr);
    ~MainDialog() override;

    // The initialisation sequence: entry cleared and focused, transmitter and receiver reset,
    // display surfaces made, capture opened. Call once, before the window is shown. With a
    // `recording`, the receiver hears it first and the sound card's input opens at its end.
    void initialise(const QString& recording = {});
    // Places every control for a client area of w x h pixels and records the size.
    void layout(int w, int h);
    // One command identifier from a menu, a button or an attack option; unknown ones do nothing.
    void dispatchCommand(int id);
    // The close-down sequence; runs once (closing the window runs it too).
    void closeDown();

    // The other station's idle text (secondary set) as the decoder hands it out: a call sign in
    // it shows in the call field.
    void appendSecondaryText(std::span<const std::uint8_t> characters);
    // The radio's dial ("14.078.500 USB") at the right end of the status line; empty hides it.
    void showDialReading(const QString& text);
    // The tuning frequency (and the signal's frequency on the air) after it changed.
    void showTuning();

    QWidget* control(int controlId) const;
    QAction* action(int commandId) const;
    QWidget* client() const { return client_; }
    RxScreen* rxScreen() const { return rxScreen_; }
    TxEntry* txEntry() const { return txEntry_; }
    QPushButton* sendButton() const { return sendButton_; }
    QPushButton* recvButton() const { return recvButton_; }
    QLineEdit* remainingLine() const { return remainingLine_; }
    QWidget* remainingBar() const { return remainingBar_; }
    QWidget* snrBar() const { return snrBar_; }
    QWidget* snrScale() const { return snrScale_; }
    QLineEdit* secondaryText() const { return secondaryText_; }
    QLabel* dialReading() const;
    StatusLine* statusLine() const { return statusLine_; }
    // The help window while it is open.
    HelpViewer* helpViewer() const { return helpViewer_; }

    AppSettings& settings() { return settings_; }
    const AppSettings& settings() const { return settings_; }
    // The program's own choices ("VantrelChat.conf" beside the settings file); change them
    // through prefs() and call savePrefs() at once.
    StationPrefs& prefs() { return prefs_; }
    const StationPrefs& prefs() const { return prefs_; }
    // False when the file could not be written; the values stay in force for this run.
    bool savePrefs();
    const modem::ModeProfile& profile() const { return *profile_; }
    int squelchAttack() const { return squelchAttack_; }
    ChatStation& station() { return *station_; }

    // Where saved receive texts and the help page live: the working directory unless a test
    // says otherwise.
    void setWorkDirectory(const QDir& dir) { workDir_ = dir; }
    const QDir& workDirectory() const { return workDir_; }
    void setPrompter(Prompter prompter) { prompter_ = std::move(prompter); }
    void setRecordingChooser(RecordingChooser chooser) { recordingChooser_ = std::move(chooser); }
    // Message boxes go here; by default real modal boxes.
    void setMessageBoxes(audio::MessageBoxes* boxes);
    audio::MessageBoxes& messageBoxes() const { return *messages_; }

    // The small dialogs and commands of the menus.
    void editCallsign();
    void editSquelchLevel();
    void editCaptureRange();
    // "Transmit time limit...": minutes, 1 to 60 or 0 for none; kept in the program's own file.
    void editTxTimeLimit();
    void showAbout();
    void openHelpPage();
    void saveRxScreen();
    void playRecording();
    void changeSpeed(int commandId);
    void editTuningFrequency();
    void editTransmitLevel();
    // Where the file chooser of "Play a recording into the receiver..." opens: the folder of the
    // last recording chosen, else the installed sample's, else the working folder.
    QString recordingFolder() const;
    // Tools -> "Signal browser": its window shown and brought to the front.
    void openSignalBrowser();
    SignalBrowser* signalBrowser() const;
    // The speed to start at, before initialise() (the command line's --speed).
    void setStartSpeed(const modem::ModeProfile& profile);

signals:
    // The close-down has run: settings written, sound card and serial port closed.
    void closedDown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void createRightColumn();
    void createStatusRow();
    void createMenus();
    QAction* addCommand(QMenu* menu, const QString& caption, int commandId);
    void checkModeItem(int commandId);
    QString prompt(const QString& text, const QString& title, const QString& defaultText);
    void layoutSecondaryText(int w, int r);
    void setMinimumWindowSize();
    void routeMouse(QWidget* watched, QEvent* event);

    AppSettings settings_;
    QString settingsPath_;
    QString prefsPath_;  // empty when the settings path is: nothing is written
    StationPrefs prefs_;
    QDir workDir_;
    const modem::ModeProfile* profile_ = &modem::defaultProfile();
    int squelchAttack_ = 1;
    bool closedDown_ = false;

    QWidget* client_ = nullptr;
    RxScreen* rxScreen_ = nullptr;
    QWidget* waterfallFrame_ = nullptr;
    QWidget* syncFrameLeft_ = nullptr;
    QWidget* syncFrameRight_ = nullptr;
    QWidget* snrBar_ = nullptr;
    QWidget* attackFrame_ = nullptr;
    QRadioButton* attackFast_ = nullptr;
    QRadioButton* attackMed_ = nullptr;
    QRadioButton* attackSlow_ = nullptr;
    QLabel* attackLabel_ = nullptr;
    QWidget* snrScale_ = nullptr;
    TxEntry* txEntry_ = nullptr;
    QPushButton* sendButton_ = nullptr;
    QPushButton* recvButton_ = nullptr;
    QLineEdit* remainingLine_ = nullptr;
    QWidget* remainingBar_ = nullptr;
    QLineEdit* secondaryText_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    QPointer<HelpViewer> helpViewer_;
    QWidget* waterfallView_ = nullptr;  // the display layer's picture over the right column
    QButtonGroup* attackGroup_ = nullptr;
    QPointer<audio::ReturnReleaseGuard> keyFilter_;
    QShortcut* escapeStop_ = nullptr;
    QPointer<SignalBrowser> browser_;
    std::map<int, QAction*> actions_;

    std::unique_ptr<audio::MessageBoxes> ownMessages_;
    audio::MessageBoxes* messages_ = nullptr;
    Prompter prompter_;
    RecordingChooser recordingChooser_;
    std::unique_ptr<ChatStation> station_;
};

}  // namespace vantrel::app
