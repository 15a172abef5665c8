// The menu bar, the command dispatch and the commands that stay within the shell.
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>

#include <optional>

#include "app/band_watch.h"
#include "app/chat_station.h"
#include "app/control_ids.h"
#include "app/help_page.h"
#include "app/main_dialog.h"
#include "app/operator_desk.h"
#include "app/rx_screen.h"
#include "app/signal_browser.h"
#include "app/small_dialogs.h"
#include "app/status_line.h"
#include "app/tx_entry.h"

namespace vantrel::app {
namespace {

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

const QString kTxTimeLimitPrompt = QStringLiteral(
    "Set the transmit time limit in minutes.\r\nA transmission running longer\r\nis ended as by RECV.\r\n"
    "Default value = 10\r\nRange 1 - 60, 0 = no limit");

// Whole minutes 0..60, or "off"; anything else is refused.
std::optional<int> txTimeLimitFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0) return 0;
    bool ok = false;
    const int minutes = t.toInt(&ok);
    if (!ok || minutes < 0 || minutes > 60) return std::nullopt;
    return minutes;
}

}  // namespace

QAction* MainDialog::addCommand(QMenu* menu, const QString& caption, int commandId) {
    QAction* action = menu->addAction(caption);
    action->setProperty("commandId", commandId);
    action->setObjectName(QStringLiteral("command%1").arg(commandId));
    connect(action, &QAction::triggered, this, [this, commandId] { dispatchCommand(commandId); });
    actions_[commandId] = action;
    return action;
}

void MainDialog::createMenus() {
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    addCommand(file, QStringLiteral("Save RX screen to file NOW"), command::kSaveRxScreen);
    addCommand(file, QStringLiteral("Exit"), command::kExit);

    QMenu* mode = bar->addMenu(QStringLiteral("&Mode"));
    for (const modem::ModeProfile& p : modem::kProfiles)
        addCommand(mode, latin1(p.menuCaption), p.commandId)->setCheckable(true);
    checkModeItem(profile_->commandId);

    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    addCommand(options, QStringLiteral("Callsign"), command::kCallsign);
    addCommand(options, QStringLiteral("PTT settings"), command::kPttSettings);
    addCommand(options, QStringLiteral("Rig control (Hamlib)"), command::kRigControl);
    addCommand(options, QStringLiteral("Transmit level..."), command::kTransmitLevel);
    addCommand(options, QStringLiteral("Transmit time limit..."), command::kTxTimeLimit);
    addCommand(options, QStringLiteral("Receive log"), command::kReceiveLog);
    addCommand(options, QStringLiteral("Time stamps"), command::kTimeStamps);

    // Captions, shortcuts and check marks come from the operator desk (attach()).
    QMenu* macros = bar->addMenu(QStringLiteral("M&acros"));
    for (int id = command::kFirstMacro; id <= command::kLastMacro; ++id) addCommand(macros, QString(), id);
    macros->addSeparator();
    addCommand(macros, QStringLiteral("&Edit macros..."), command::kEditMacros);
    addCommand(macros, QStringLiteral("&Log this QSO..."), command::kLogQso);

    QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
    addCommand(tools, QStringLiteral("Squelch trigger level"), command::kSquelchLevel);
    addCommand(tools, QStringLiteral("Bandwidth capture range"), command::kCaptureRange);
    addCommand(tools, QStringLiteral("Clear RX screen"), command::kClearRxScreen);
    QAction* sensitive = addCommand(tools, QStringLiteral("Sensitive receive"), command::kSensitiveReceive);
    sensitive->setCheckable(true);
    sensitive->setChecked(settings_.sensitiveReceive != 0);
    addCommand(tools, QStringLiteral("Tuning frequency..."), command::kTuningFrequency);
    addCommand(tools, QStringLiteral("Signal browser"), command::kSignalBrowser)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));

    QMenu* sound = bar->addMenu(QStringLiteral("&Soundcard"));
    addCommand(sound, QStringLiteral("Audio control panel"), command::kAudioControlPanel);
    addCommand(sound, QStringLiteral("Input"), command::kInput);
    addCommand(sound, QStringLiteral("Output"), command::kOutput);
    addCommand(sound, QStringLiteral("Play a recording into the receiver..."), command::kPlayRecording);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    addCommand(help, QStringLiteral("Help"), command::kHelp);
    addCommand(help, QStringLiteral("About"), command::kAbout);
}

void MainDialog::checkModeItem(int commandId) {
    for (const modem::ModeProfile& p : modem::kProfiles)
        if (QAction* a = action(p.commandId)) a->setChecked(p.commandId == commandId);
}

void MainDialog::dispatchCommand(int id) {
    switch (id) {
    case command::kInput: station_->selectInputDevice(); break;
    case command::kOutput: station_->selectOutputDevice(); break;
    case command::kAudioControlPanel: station_->openAudioControlPanel(); break;
    case command::kPlayRecording: playRecording(); break;
    case command::kSaveRxScreen: saveRxScreen(); break;
    case command::kClearRxScreen: rxScreen_->clear(); break;
    case command::kCallsign: editCallsign(); break;
    case command::kAttackFast: squelchAttack_ = 0; break;
    case command::kAttackMed: squelchAttack_ = 1; break;
    case command::kAttackSlow: squelchAttack_ = 3; break;
    case command::kSend: station_->send(); break;
    case command::kRecv: station_->receive(); break;
    case command::kHelp: openHelpPage(); break;
    case command::kAbout: showAbout(); break;
    case command::kSquelchLevel: editSquelchLevel(); break;
    case command::kCaptureRange: editCaptureRange(); break;
    case command::kPttSettings: station_->openPortSettings(); break;
    case command::kRigControl: station_->openRigSettings(); break;
    case command::kSignalBrowser: openSignalBrowser(); break;
    case command::kTuningFrequency: editTuningFrequency(); break;
    case command::kTransmitLevel: editTransmitLevel(); break;
    case command::kTxTimeLimit: editTxTimeLimit(); break;
    case command::kExit:
        station_->closeSerialPort();
        close();
        break;
    case command::kReceiveLog: station_->desk().toggleReceiveLog(); break;
    case command::kTimeStamps: station_->desk().toggleTimeStamps(); break;
    case command::kEditMacros: station_->desk().editMacros(); break;
    case command::kLogQso: station_->desk().logQso(); break;
    case command::kSensitiveReceive:
        settings_.sensitiveReceive = settings_.sensitiveReceive ? 0 : 1;
        action(id)->setChecked(settings_.sensitiveReceive != 0);
        break;
    default:
        if (id >= command::kFirstMode && id <= command::kLastMode) changeSpeed(id);
        if (id >= command::kFirstMacro && id <= command::kLastMacro) station_->desk().runMacro(id - command::kFirstMacro, true);
        break;
    }
}

void MainDialog::changeSpeed(int commandId) {
    const modem::ModeProfile* chosen = modem::profileByCommandId(commandId);
    if (!chosen) return;
    profile_ = chosen;
    setWindowTitle(latin1(chosen->windowTitle));
    checkModeItem(commandId);
    station_->changeSpeed(*chosen);
}

void MainDialog::setStartSpeed(const modem::ModeProfile& profile) {
    profile_ = &profile;
    setWindowTitle(latin1(profile.windowTitle));
    checkModeItem(profile.commandId);
}

SignalBrowser* MainDialog::signalBrowser() const { return browser_; }

void MainDialog::openSignalBrowser() {
    if (!browser_) {
        ChatStation& station = *station_;
        browser_ = new SignalBrowser(station.bandWatch(), [&station] { return station.searchRange(); }, prefs_.browserAlwaysRun, this);
        if (!prefs_.browserGeometry.isEmpty()) browser_->restoreGeometry(prefs_.browserGeometry);
        connect(browser_, &SignalBrowser::tuneRequested, this, [this](int hz) { station_->tuneTo(hz); });
        connect(browser_, &SignalBrowser::alwaysRunChanged, this, [this](bool on) {
            prefs_.browserAlwaysRun = on;
            savePrefs();
        });
        // The receivers run while the window is open, or always when the operator asks; the
        // window's size and place are kept whenever it closes.
        connect(browser_, &SignalBrowser::shownChanged, this, [this](bool shown) {
            station_->bandWatch().setRunning(shown || prefs_.browserAlwaysRun);
            if (shown) return;
            prefs_.browserGeometry = browser_->saveGeometry();
            savePrefs();
        });
    }
    browser_->show();
    browser_->raise();
    browser_->activateWindow();
}

QString MainDialog::prompt(const QString& text, const QString& title, const QString& defaultText) {
    if (prompter_) return prompter_(text, title, defaultText);
    return promptForText(this, text, title, defaultText);
}

void MainDialog::editCallsign() {
    const QString current = QString::fromLatin1(settings_.callsign.data(), static_cast<qsizetype>(settings_.callsign.size()));
    QString r = prompt(QStringLiteral("Enter callsign"), QStringLiteral("CALLSIGN"), current);
    if (const auto problem = callsignProblem(r)) {
        messages_->showMessage(audio::MessageIcon::Warning, QStringLiteral("CALLSIGN"), *problem);
        return;
    }
    if (r.isEmpty())
        r = current;
    else
        settings_.callsign = r.toLatin1().toStdString();
    station_->callsignChanged(current, r);
}

void MainDialog::editSquelchLevel() {
    const QString d = shownNumber(settings_.squelchLevel);
    QString r = prompt(kSquelchPrompt, QStringLiteral("Squelch trigger level"), d);
    if (r.isEmpty()) r = d;
    const RangedEntry entry = squelchLevelFromText(r);
    settings_.squelchLevel = entry.value;
    if (entry.message) messages_->showMessage(audio::MessageIcon::Error, QStringLiteral("Squelch limit"), *entry.message);
}

void MainDialog::editCaptureRange() {
    const QString d = shownNumber(settings_.captureTop);
    QString r = prompt(kCapturePrompt, QStringLiteral("Bandwidth capture range"), d);
    if (r.isEmpty()) r = d;
    const CaptureTopEntry entry = captureTopFromText(r);
    settings_.captureTop = entry.value;
    if (entry.message) messages_->showMessage(audio::MessageIcon::Error, QStringLiteral("Marker limit"), *entry.message);
}

void MainDialog::editTxTimeLimit() {
    const QString caption = QStringLiteral("Transmit time limit");
    const QString r = prompt(kTxTimeLimitPrompt, caption, shownNumber(prefs_.txTimeLimitMinutes));
    if (r.trimmed().isEmpty()) return;
    const std::optional<int> minutes = txTimeLimitFromText(r);
    if (!minutes) {
        messages_->showMessage(audio::MessageIcon::Error, caption, QStringLiteral("Must be between 0 and 60"));
        return;
    }
    prefs_.txTimeLimitMinutes = *minutes;
    station_->setTimeLimitMinutes(*minutes);
    if (!savePrefs())
        messages_->showMessage(audio::MessageIcon::Warning, caption,
                               QStringLiteral("%1 could not be written: the limit holds until the program ends.")
                                   .arg(QString::fromLatin1(kPrefsFileName)));
}

void MainDialog::showAbout() {
    AboutBox box(this);
    box.move(geometry().topLeft() + QPoint(dluX(100), dluY(50)));
    box.exec();
}

void MainDialog::openHelpPage() {
    // A viewer just closed is on its way out: a fresh one reads the page again.
    if (!helpViewer_ || !helpViewer_->isVisible()) helpViewer_ = new HelpViewer(this, helpPageSource(workDir_));
    helpViewer_->show();
    helpViewer_->raise();
    helpViewer_->activateWindow();
}

void MainDialog::playRecording() {
    const QString path = recordingChooser_
                             ? recordingChooser_()
                             : QFileDialog::getOpenFileName(this, QStringLiteral("Play a recording into the receiver"), recordingFolder(),
                                                            QStringLiteral("Sound files (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aif *.aiff *.au);;"
                                                                           "All files (*)"));
    if (path.isEmpty()) return;
    prefs_.lastRecordingFolder = QFileInfo(path).absolutePath();
    savePrefs();
    station_->playRecording(path);
}

void MainDialog::saveRxScreen() {
    const RxScreen::SaveResult result = rxScreen_->saveToFile(workDir_, QDateTime::currentDateTime());
    if (result.ok) statusLine_->note(QStringLiteral("RX screen saved to %1").arg(QDir::toNativeSeparators(QFileInfo(result.fileName).absoluteFilePath())));
    // Saying nothing would leave the operator believing the log is safe.
    if (!result.ok)
        messages_->showMessage(audio::MessageIcon::Error, QStringLiteral("Save RX screen"),
                               QStringLiteral("The RX screen could not be saved to\n%1\n\n%2").arg(result.fileName, result.error));
}

}  // namespace vantrel::app
