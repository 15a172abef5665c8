#include "app/chat_station.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "app/band_watch.h"
#include "app/install_paths.h"
#include "app/main_dialog.h"
#include "app/operator_desk.h"
#include "app/rx_screen.h"
#include "app/small_dialogs.h"
#include "app/status_line.h"
#include "app/tx_entry.h"
#include "audio/audio_engine.h"
#include "audio/capture_switch.h"
#include "audio/device_selection.h"
#include "audio/qt_audio_devices.h"
#include "display/display_overlay.h"
#include "display/mouse_routing.h"
#include "display/remaining_bar.h"
#include "display/snr_meter.h"
#include "display/tuning_cursor.h"
#include "modem/varicode.h"
#include "radio/ptt_settings_dialog.h"
#include "radio/hamlib_rig.h"
#include "radio/qt_serial_link.h"
#include "radio/rig_settings_dialog.h"
#include "radio/serial_lists.h"

namespace vantrel::app {
namespace {

int screenDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? static_cast<int>(screen->logicalDotsPerInchY()) : 96;
}

std::string latin1(const QString& text) { return text.toLatin1().toStdString(); }

QString fromLatin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

radio::PortSettings portSettingsOf(const AppSettings& s) {
    radio::PortSettings p;
    p.portIndex = s.portIndex;
    p.pttMethod = s.pttMethod;
    p.radioAddress = s.radioAddress;
    p.baudIndex = s.baudIndex;
    p.dataBitsIndex = s.dataBitsIndex;
    p.parityIndex = s.parityIndex;
    p.stopBitsIndex = s.stopBitsIndex;
    p.addressIndex = s.addressIndex;
    p.txCommandText = s.txCommandText;
    p.rxCommandText = s.rxCommandText;
    p.useCommands = s.useCommands;
    p.commandKind = s.commandKind;
    p.portPath = s.portDevice;
    return p;
}

void storePortSettings(const radio::PortSettings& p, AppSettings& s) {
    s.portIndex = p.portIndex;
    s.pttMethod = p.pttMethod;
    s.radioAddress = p.radioAddress;
    s.baudIndex = p.baudIndex;
    s.dataBitsIndex = p.dataBitsIndex;
    s.parityIndex = p.parityIndex;
    s.stopBitsIndex = p.stopBitsIndex;
    s.addressIndex = p.addressIndex;
    s.txCommandText = p.txCommandText;
    s.rxCommandText = p.rxCommandText;
    s.useCommands = p.useCommands;
    s.commandKind = p.commandKind;
    s.portDevice = p.portPath;
}

radio::RigSettings rigSettingsOf(const AppSettings& s) {
    return radio::RigSettings{s.rigEnabled, s.rigModel, s.rigPort, s.rigSerialSpeed, s.rigKeyThrough};
}

void storeRigSettings(const radio::RigSettings& r, AppSettings& s) {
    s.rigEnabled = r.enabled;
    s.rigModel = r.model;
    s.rigPort = r.port;
    s.rigSerialSpeed = r.serialSpeed;
    s.rigKeyThrough = r.keyThrough;
}

ChatStation::ChatStation(MainDialog& dialog, StationParts parts)
    : dialog_(dialog),
      capture_(std::make_unique<audio::CaptureSwitch>(parts.capture ? std::move(parts.capture)
                                                                    : std::make_unique<audio::QtCaptureDevice>())),
      playback_(parts.playback ? std::move(parts.playback) : std::make_unique<audio::QtPlaybackDevice>()),
      ptt_(parts.serial ? std::move(parts.serial) : std::make_unique<radio::QtSerialLink>()),
      waterfall_(modem::defaultProfile().sampleRate, screenDpiY()), tuningCursor_(display::tuningCursor()),
      band_(std::make_unique<BandWatch>()) {
    modulator_.setIdleText(dialog_.settings().callsign);
    audio::EnginePorts ports;
    ports.keyer = this;
    ports.panes = this;
    ports.buttons = this;
    ports.progress = this;
    ports.receiveSink = this;
    ports.station = this;
    ports.messages = this;
    engine_ = std::make_unique<audio::AudioEngine>(*capture_, *playback_, modulator_, receiver_, ports);
    audio::MessageBoxes& messages = *this;
    selector_ = std::make_unique<audio::DeviceSelector>(
        *engine_, messages, parts.inputNames ? parts.inputNames : audio::DeviceSelector::NameSource(audio::systemInputNames),
        parts.outputNames ? parts.outputNames : audio::DeviceSelector::NameSource(audio::systemOutputNames));
    ptt_.setSettings(portSettingsOf(dialog_.settings()));
    // Queued, so the recording's last block has been through the receiver first.
    QObject::connect(capture_.get(), &audio::CaptureSwitch::recordingEnded, capture_.get(),
                     [this] { recordingEnded(); }, Qt::QueuedConnection);
    rig_ = std::make_unique<radio::RigKeyer>(parts.rig ? std::move(parts.rig) : std::make_unique<radio::HamlibRig>());
    portWatch_ = std::make_unique<radio::PortWatch>(ptt_);
    connectRadio();
    desk_ = std::make_unique<OperatorDesk>(dialog_, *this);
}

void ChatStation::connectRadio() {
    const QString rigCaption = QString::fromLatin1(kRigCaption);
    QObject::connect(rig_.get(), &radio::RigKeyer::dialChanged, &dialog_, &MainDialog::showDialReading);
    QObject::connect(rig_.get(), &radio::RigKeyer::problem, &dialog_, [this, rigCaption](const QString& text) {
        if (rig_->link() == radio::RigKeyer::Link::Failed && rig_->keysTransmitter()) keyingLost();
        showNotice(rigCaption, text);
    });
    QObject::connect(rig_.get(), &radio::RigKeyer::reconnected, &dialog_,
                     [this, rigCaption](const QString& text) { showNotice(rigCaption, text); });
    QObject::connect(rig_.get(), &radio::RigKeyer::unkeyed, &dialog_, [this] { guardianUnkeyed(); });
    const QString portCaption = QString::fromLatin1(kPttPortCaption);
    QObject::connect(portWatch_.get(), &radio::PortWatch::lost, &dialog_, [this, portCaption] {
        keyingLost();
        showNotice(portCaption, portLostText());
    });
    QObject::connect(portWatch_.get(), &radio::PortWatch::reconnected, &dialog_, [this, portCaption] {
        showNotice(portCaption, QStringLiteral("The PTT port %1 is back: reconnected, and the radio set to receive.")
                                    .arg(fromLatin1(ptt_.portPath())));
    });
}

QString ChatStation::portLostText() const {
    return QStringLiteral("The PTT port %1 has gone away (unplugged?).\n\nA transmission in progress was ended, and "
                          "sending waits until the port is back. The program tries it again every few seconds.")
        .arg(fromLatin1(ptt_.portPath()));
}

void ChatStation::keyingLost() {
    // No sound goes out on a radio that can no longer be keyed.
    if (engine_->transmitting()) engine_->receive();
}

ChatStation::~ChatStation() {
    shutDown();
    selector_.reset();
    engine_.reset();
}

void ChatStation::setPresenter(radio::MessagePresenter* presenter) {
    presenter_ = presenter ? presenter : &ownPresenter_;
}

QWidget* ChatStation::createSnrBar(QWidget* parent) {
    snrBar_ = new display::SnrBar(parent);
    // The squelch click measures against the height the meter was created with.
    snrBar_->resize(dluX(20), dluY(83));
    meterHeight_ = snrBar_->height();
    snrBar_->setReading(0, dialog_.settings().squelchLevel);
    return snrBar_;
}

QWidget* ChatStation::createSnrScale(QWidget* parent) { return new display::SnrScale(parent, screenDpiY()); }

QWidget* ChatStation::createRemainingBar(QWidget* parent) {
    remainingBar_ = new display::RemainingBar(parent);
    return remainingBar_;
}

QWidget* ChatStation::createWaterfallView(QWidget* parent) {
    overlay_ = new display::DisplayOverlay(waterfall_, parent);
    return overlay_;
}

audio::CaptureDevice& ChatStation::captureDevice() { return *capture_; }

void ChatStation::initialise(const QString& recording) {
    modem::varicodeTable();
    receiver_.reset();
    engine_->setProfile(dialog_.profile());
    engine_->setInputDevice(dialog_.settings().inputDevice);
    engine_->setOutputDevice(dialog_.settings().outputDevice);
    engine_->setTransmitLevelDb(dialog_.prefs().transmitLevelDb);
    modulator_.setTuningFrequency(tuningFrequency_);
    dialog_.showTuning();
    waterfall_.setSampleRate(dialog_.profile().sampleRate);
    if (overlay_) overlay_->showScale(tuningFrequency_);
    if (!recording.isEmpty() && loadRecording(recording)) capture_->armRecording();
    setTimeLimitMinutes(dialog_.prefs().txTimeLimitMinutes);
    const QString guardian = keyingGuardianProgram();
    if (!guardian.isEmpty() && !guardian_.start(guardian.toStdString()))
        std::fprintf(stderr, "vantrel-chat: %s could not be started; a crash while transmitting would leave the radio keyed\n",
                     qPrintable(guardian));
    // Unlike the serial port, the radio behind Hamlib is opened at start when it is switched on.
    rig_->start(rigSettingsOf(dialog_.settings()));
    if (dialog_.prefs().openPortAtStart) openPortAtStart();
    engine_->openCapture();
    refreshRecordingState();
}

void ChatStation::openPortAtStart() {
    const radio::PortSettings& s = ptt_.settings();
    ptt_.buildCatCommands(s.radioAddress, s.txCommandText, s.rxCommandText);
    // The port as the dialog's APPLY would open it: the device path kept, else COM1..COM20.
    std::string port = s.portPath;
    if (port.empty() && s.portIndex >= 1 && s.portIndex <= radio::kFixedPortCount) port = "COM" + std::to_string(s.portIndex);
    if (!port.empty() &&
        ptt_.openPort(port, radio::listEntry(radio::kBaudRates, s.baudIndex), radio::listEntry(radio::kDataBits, s.dataBitsIndex),
                      radio::listEntry(radio::kParities, s.parityIndex), radio::listEntry(radio::kStopBits, s.stopBitsIndex)))
        return;
    const QString what = port.empty() ? QStringLiteral("No serial port is chosen to open at start")
                                      : QStringLiteral("The serial port %1 could not be opened at start: %2")
                                            .arg(fromLatin1(port), radio::PttSettingsDialog::portProblem(radio::devicePathForPort(port)));
    showMessage(audio::MessageIcon::Warning, QStringLiteral("PTT settings"),
                what + QStringLiteral(".\n\nThe radio is not keyed until APPLY in Options, PTT settings opens a port."));
}

void ChatStation::setTimeLimitMinutes(int minutes) {
    engine_->setTimeLimit(std::chrono::minutes(std::clamp(minutes, 0, 60)));
}

bool ChatStation::loadRecording(const QString& path) {
    const QString problem = capture_->recording().load(path, engine_->profile().sampleRate);
    if (problem.isEmpty()) return true;
    showMessage(audio::MessageIcon::Error, QString::fromLatin1(kPlayRecordingCaption),
                QStringLiteral("This recording cannot be played:\n\n%1").arg(problem));
    return false;
}

bool ChatStation::playRecording(const QString& path) {
    if (engine_->transmitting()) {
        showMessage(audio::MessageIcon::Information, QString::fromLatin1(kPlayRecordingCaption),
                    QStringLiteral("A recording plays into the receiver: press RECV first."));
        return false;
    }
    if (!loadRecording(path)) return false;
    capture_->armRecording();
    // Closes the sound card's input (or the recording playing now) and opens the recording.
    const bool opened = engine_->openCapture();
    refreshRecordingState();
    return opened;
}

void ChatStation::recordingEnded() {
    recordingFinished_ = !recordingShown_.isEmpty();
    if (capture_->playingRecording()) engine_->openCapture();
    refreshRecordingState();
}

void ChatStation::refreshRecordingState() {
    StatusLine& status = *dialog_.statusLine();
    if (capture_->playingRecording()) {
        recordingShown_ = QFileInfo(capture_->recording().path()).fileName();
        recordingFinished_ = false;
        status.setRecordingState(QStringLiteral("Playing recording %1").arg(recordingShown_));
        return;
    }
    if (recordingShown_.isEmpty()) return;
    status.setRecordingState((recordingFinished_ ? QStringLiteral("Recording ended: %1") : QStringLiteral("Recording stopped: %1"))
                                 .arg(recordingShown_));
    recordingShown_.clear();
    recordingFinished_ = false;
}

void ChatStation::send() {
    engine_->send();
    if (engine_->transmitting()) dialog_.statusLine()->clearInputLevel();
    refreshRecordingState();
}

void ChatStation::receive() {
    engine_->receive();
    refreshRecordingState();
}

void ChatStation::setTuningFrequency(int hz) {
    tuningFrequency_ = hz;
    modulator_.setTuningFrequency(hz);
    if (overlay_) overlay_->showScale(hz);
    dialog_.showTuning();
}

void ChatStation::changeSpeed(const modem::ModeProfile& profile) {
    const bool opened = engine_->changeSpeed(profile);
    refreshRecordingState();
    if (!opened) return;
    waterfall_.setSampleRate(profile.sampleRate);
    if (overlay_) overlay_->showScale(tuningFrequency_);
}

void ChatStation::selectInputDevice() {
    selector_->selectInputDevice(&dialog_);
    refreshRecordingState();
}
void ChatStation::selectOutputDevice() { selector_->selectOutputDevice(&dialog_); }
void ChatStation::openAudioControlPanel() { selector_->openAudioControlPanel(); }
void ChatStation::openPortSettings() {
    radio::PttDialogOptions options;
    options.openAtStart = dialog_.prefs().openPortAtStart;
    options.beforePortCloses = [this] {
        if (engine_->transmitting()) receive();
    };
    const radio::PttDialogOutcome outcome = radio::showPttSettings(ptt_, *presenter_, &dialog_, std::move(options));
    if (outcome.openAtStart != dialog_.prefs().openPortAtStart) {
        dialog_.prefs().openPortAtStart = outcome.openAtStart;
        dialog_.savePrefs();
    }
}
void ChatStation::closeSerialPort() { ptt_.closePort(); }
void ChatStation::openRigSettings() { radio::showRigSettings(*rig_, &dialog_); }

// Said in a box that does not hold the window: receiving goes on while it is up, and a later
// word on the same matter replaces its text rather than stacking boxes.
void ChatStation::showNotice(const QString& caption, const QString& text) {
    QPointer<QMessageBox>& box = notices_[caption];
    if (!box) {
        box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, &dialog_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->show();
}

void ChatStation::callsignChanged(const QString& previous, const QString& callsign) {
    modulator_.callsignChanged(latin1(previous), latin1(callsign));
}

void ChatStation::storeSettings(AppSettings& settings) const {
    settings.inputDevice = engine_->inputDevice();
    settings.outputDevice = engine_->outputDevice();
    storePortSettings(ptt_.settings(), settings);
    storeRigSettings(rig_->settings(), settings);
}

void ChatStation::shutDown() {
    // A line still coming in when the window closes is kept as far as it came.
    if (desk_) desk_->receiveLog().endReceivedLine();
    if (engine_) engine_->shutDown();
    ptt_.shutdown();
    // Without a confirmed unkey the guardian is left to it, as after a crash.
    if (rig_ && rig_->shutDown() && !rig_->unkeyPending()) {
        guardian_.setKeyed(false);
        guardian_.sayGoodbye();
    }
}

void ChatStation::mouseMoved(int x, int y) {
    apply(mouse_.onMouseMove(x, y, dialog_.client()->width(), dialog_.profile().sampleRate, tuningFrequency_));
}

void ChatStation::leftButtonDown(bool onMeter, int meterY) {
    std::optional<display::MeterClick> click;
    if (onMeter) click = display::MeterClick{meterY, meterHeight_};
    apply(mouse_.onLeftButtonDown(click, tuningFrequency_));
}

void ChatStation::leftButtonUp() { apply(mouse_.onLeftButtonUp(tuningFrequency_)); }

void ChatStation::tuneTo(int tuningFrequency) { apply(display::TuningMouse::tuneTo(tuningFrequency)); }

std::pair<double, double> ChatStation::searchRange() const {
    const double bin = engine_->profile().sampleRate / 4096.0;
    return {tuningFrequency_ + modem::kCaptureBottom * bin, tuningFrequency_ + dialog_.settings().captureTop * bin};
}

void ChatStation::apply(const display::MouseAction& action) {
    display::applyPointer(*dialog_.client(), action, tuningCursor_);
    const bool retuned = action.tuningFrequency != tuningFrequency_;
    tuningFrequency_ = action.tuningFrequency;
    modulator_.setTuningFrequency(tuningFrequency_);
    if (retuned) dialog_.showTuning();
    if (action.squelchLevel) {
        dialog_.settings().squelchLevel = *action.squelchLevel;
        if (snrBar_) snrBar_->setReading(snrBar_->snrSmoothed(), *action.squelchLevel);
    }
    if (action.showScale && overlay_) overlay_->showScale(tuningFrequency_);
}

void ChatStation::keyTransmitter() {
    // The guardian hears first: whatever happens from here on, it knows how to undo it.
    std::optional<radio::RigConfig> rig;
    if (rig_->keysTransmitter()) {
        const radio::RigSettings& s = rig_->settings();
        rig = radio::RigConfig{s.model, radio::devicePathForPort(s.port), s.serialSpeed};
    }
    guardian_.describe(ptt_.catUnkey(), rig);
    guardian_.setKeyed(true);
    ptt_.keyTransmitter();
    rig_->keyTransmitter();
}

void ChatStation::unkeyTransmitter() {
    ptt_.unkeyTransmitter();
    rig_->unkeyTransmitter();
    if (!rig_->unkeyPending()) guardian_.setKeyed(false);
}

void ChatStation::guardianUnkeyed() {
    if (!engine_->transmitting()) guardian_.setKeyed(false);
}

bool ChatStation::readyToKey() {
    if (ptt_.portLost()) {
        showNotice(QString::fromLatin1(kPttPortCaption), portLostText());
        return false;
    }
    if (rig_->keysTransmitter() && rig_->link() == radio::RigKeyer::Link::Failed) {
        const QString text = rig_->problemText();
        showNotice(QString::fromLatin1(kRigCaption),
                   !text.isEmpty() ? text
                                   : QStringLiteral("The radio does not answer Hamlib:\n%1\n\nSending waits until it answers; the "
                                                    "program tries it again every few seconds.")
                                         .arg(rig_->linkError()));
        return false;
    }
    return true;
}

void ChatStation::echoSent(const QString& text) {
    desk_->sending();
    dialog_.rxScreen()->echoSent(callsign(), text);
}

void ChatStation::transmissionEnded(const QString& sent) { desk_->sent(sent); }
QString ChatStation::takeText() const { return dialog_.txEntry()->takeText(); }
void ChatStation::dropSentPrefix(int count) { dialog_.txEntry()->dropSentPrefix(count); }

void ChatStation::transmissionCut(int count, int sent) {
    dialog_.txEntry()->keepUnsentRest(count, sent);
    dialog_.rxScreen()->markEchoStopped(sent);
}

void ChatStation::focusEntry() {
    TxEntry* entry = dialog_.txEntry();
    entry->setFocus(Qt::OtherFocusReason);
    // While a sentence goes out, what is typed goes after it, never over a selection in it.
    if (engine_->transmitting())
        entry->moveCaretToEnd();
    else
        entry->ensureCursorVisible();
}

void ChatStation::setSendEnabled(bool enabled) { dialog_.sendButton()->setEnabled(enabled); }
void ChatStation::setRecvEnabled(bool enabled) { dialog_.recvButton()->setEnabled(enabled); }

void ChatStation::showProgress(int txTaken, int txLength) {
    dialog_.remainingLine()->setText(fromLatin1(modem::remainingLineText(txLength - txTaken)));
    if (remainingBar_) remainingBar_->setProgress(txTaken, txLength);
}

void ChatStation::clearProgressBar() {
    if (remainingBar_) remainingBar_->setProgress(0, 0);
}

void ChatStation::blockAnalysed(const modem::Receiver& receiver, const modem::DecodedChars& chars) {
    const modem::RxAnalyzer& analysis = receiver.analyzer();
    waterfall_.renderTimingPanel(analysis.timingProfile(), analysis.previousTimingPhase());
    dialog_.statusLine()->showInputLevel(engine_->inputLevel());
    refreshRecordingState();
    for (std::uint8_t c : chars.primaryText()) dialog_.rxScreen()->appendReceived(c);
    desk_->received(chars.primaryText());
    dialog_.appendSecondaryText(chars.secondaryText());
    if (snrBar_) snrBar_->setReading(analysis.snrSmoothed(), dialog_.settings().squelchLevel);
    waterfall_.renderSpectra(analysis.symbolSpectra(), analysis.symbolCount(), dialog_.settings().captureTop);
    if (overlay_) overlay_->showBlock(tuningFrequency_);
}

void ChatStation::blockCaptured(std::span<const std::int16_t> block) {
    band_->feed(block, engine_->profile(), dialog_.settings().squelchLevel, dialog_.squelchAttack());
}

QString ChatStation::callsign() const { return fromLatin1(dialog_.settings().callsign); }

modem::RxSettings ChatStation::rxSettings() const {
    modem::RxSettings settings;
    settings.tuningFrequency = tuningFrequency_;
    settings.captureTop = dialog_.settings().captureTop;
    settings.squelchAttack = dialog_.squelchAttack();
    settings.sensitive = dialog_.settings().sensitiveReceive != 0;
    return settings;
}

int ChatStation::squelchLevel() const { return dialog_.settings().squelchLevel; }

void ChatStation::showMessage(audio::MessageIcon icon, const QString& caption, const QString& text) {
    dialog_.messageBoxes().showMessage(icon, caption, text);
}

}  // namespace vantrel::app
