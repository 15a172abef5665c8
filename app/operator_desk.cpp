#include "app/operator_desk.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTextBlock>

#include "app/chat_station.h"
#include "app/control_ids.h"
#include "app/macro_dialog.h"
#include "app/main_dialog.h"
#include "app/qso_dialog.h"
#include "app/qso_log.h"
#include "app/rx_screen.h"
#include "app/tx_entry.h"
#include "audio/audio_engine.h"

namespace vantrel::app {
namespace {

constexpr int kMacroCaptionChars = 48;

// "11 baud single spaced" gives 11.
int baudOf(const modem::ModeProfile& profile) {
    return QString::fromLatin1(profile.menuCaption.data(), static_cast<qsizetype>(profile.menuCaption.size()))
        .section(QLatin1Char(' '), 0, 0)
        .toInt();
}

QString macroCaption(int index, const QString& macro) {
    QString text = macro.trimmed();
    if (text.size() > kMacroCaptionChars) text = text.left(kMacroCaptionChars - 3) + QStringLiteral("...");
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1  %2").arg(index + 1).arg(text.isEmpty() ? QStringLiteral("(empty)") : text);
}

// Ctrl+Shift with one of the digit keys 1..8: the macro's index, else -1. The key is known by
// its digit where the platform reports it, else by its place on the keyboard (X keycodes
// 10..17 are the top row's 1..8 on every layout).
int shiftedMacroKey(const QKeyEvent& key) {
    if (key.modifiers() != (Qt::ControlModifier | Qt::ShiftModifier)) return -1;
    if (key.key() >= Qt::Key_1 && key.key() < Qt::Key_1 + kMacroCount) return key.key() - Qt::Key_1;
    const auto code = static_cast<int>(key.nativeScanCode());
    return code >= 10 && code < 10 + kMacroCount ? code - 10 : -1;
}

}  // namespace

OperatorDesk::OperatorDesk(MainDialog& dialog, ChatStation& station)
    : dialog_(dialog), station_(station), log_([&dialog] { return dialog.workDirectory(); }, [this] { return now(); }),
      macros_(loadMacros(dialog.workDirectory().filePath(QString::fromLatin1(kMacrosFileName)))) {
    connect(&log_, &ReceiveLog::lineLogged, this, [this](const QString& direction, const QString& line, const QDateTime& at) {
        if (direction == QLatin1String("RX")) other_.heardLine(line, at);
    });
    connect(&log_, &ReceiveLog::writeFailed, this, [this](const QString& path, const QString& error) { showLogProblem(path, error); });
    connect(&other_, &OtherStation::callChanged, this, [this](const QString& call) { dialog_.secondaryText()->setText(call); });
}

void OperatorDesk::attach() {
    // Ctrl+Shift+digit arrives as the shifted symbol of the key on most layouts, which no
    // shortcut matches: it is caught on its way to any widget of the window.
    qApp->installEventFilter(this);
    QLineEdit* field = dialog_.secondaryText();
    field->setPlaceholderText(QStringLiteral("call"));
    field->setToolTip(QStringLiteral("Call sign of the station being worked: from the \"CALL:\" that opens its lines or "
                                     "its idle text; double-click a word in the receive pane to set it"));
    for (int i = 0; i < kMacroCount; ++i) {
        if (QAction* a = dialog_.action(command::kFirstMacro + i)) {
            const auto key = static_cast<Qt::Key>(Qt::Key_1 + i);
            a->setShortcut(QKeySequence(Qt::CTRL | key));
        }
    }
    if (QAction* a = dialog_.action(command::kLogQso)) a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    for (int id : {command::kReceiveLog, command::kTimeStamps})
        if (QAction* a = dialog_.action(id)) a->setCheckable(true);
    showMacroCaptions();
    applyPrefs();
}

void OperatorDesk::applyPrefs() {
    const StationPrefs& prefs = dialog_.prefs();
    log_.setWriting(prefs.receiveLog);
    if (prefs.timeStamps)
        dialog_.rxScreen()->setLinePrefix([this] { return now().toString(QStringLiteral("HH:mm ")); });
    else
        dialog_.rxScreen()->setLinePrefix({});
    if (QAction* a = dialog_.action(command::kReceiveLog)) a->setChecked(prefs.receiveLog);
    if (QAction* a = dialog_.action(command::kTimeStamps)) a->setChecked(prefs.timeStamps);
}

void OperatorDesk::toggleReceiveLog() {
    dialog_.prefs().receiveLog = !dialog_.prefs().receiveLog;
    dialog_.savePrefs();
    applyPrefs();
}

void OperatorDesk::toggleTimeStamps() {
    dialog_.prefs().timeStamps = !dialog_.prefs().timeStamps;
    dialog_.savePrefs();
    applyPrefs();
}

void OperatorDesk::received(std::span<const std::uint8_t> characters) {
    if (characters.empty()) return;
    log_.received(characters);
    // The call is taken as soon as its colon arrives, not only when the line is over.
    if (!log_.currentLine().trimmed().isEmpty()) other_.heardLine(log_.currentLine(), now());
}

void OperatorDesk::heardIdleText(std::span<const std::uint8_t> characters) { other_.heardIdleText(characters); }

void OperatorDesk::sending() {
    log_.endReceivedLine();
    other_.sendingLine(now());
}

void OperatorDesk::sent(const QString& text) { log_.sent(myCall(), text); }

QString OperatorDesk::myCall() const {
    const std::string& call = dialog_.settings().callsign;
    return QString::fromLatin1(call.data(), static_cast<qsizetype>(call.size()));
}

MacroFields OperatorDesk::macroFields() const {
    return MacroFields{myCall(), other_.call(), other_.name(), now(), station_.rig().dial().frequencyHz};
}

void OperatorDesk::runMacro(int index, bool send) {
    if (index < 0 || index >= kMacroCount || macros_[static_cast<std::size_t>(index)].isEmpty()) return;
    const MacroText macro = expandMacro(macros_[static_cast<std::size_t>(index)], macroFields());
    TxEntry* entry = dialog_.txEntry();
    entry->setFocus(Qt::ShortcutFocusReason);
    if (station_.engine().transmitting()) {
        // The sentence on the air stays at the front for RECV to take away; the macro takes the
        // place of what was typed behind it and waits for Return.
        const QString current = entry->takeText();
        const int onAir = station_.modulator().sentTextLength();
        QString text = (current.size() >= onAir ? current.left(onAir) : current) + macro.text;
        entry->setPlainText(text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        entry->moveCaretToEnd();
        return;
    }
    entry->setPlainText(macro.text);
    entry->moveCaretToEnd();
    if (!macro.complete) {
        QTextCursor caret = entry->textCursor();
        caret.setPosition(macro.callAt);
        entry->setTextCursor(caret);
        return;
    }
    if (send) dialog_.dispatchCommand(command::kSend);
}

void OperatorDesk::showMacroCaptions() {
    for (int i = 0; i < kMacroCount; ++i) {
        QAction* a = dialog_.action(command::kFirstMacro + i);
        if (!a) continue;
        a->setText(macroCaption(i, macros_[static_cast<std::size_t>(i)]));
        a->setEnabled(!macros_[static_cast<std::size_t>(i)].isEmpty());
    }
}

void OperatorDesk::editMacros() {
    MacroDialog box(&dialog_, macros_);
    if (box.exec() != QDialog::Accepted) return;
    macros_ = box.macros();
    showMacroCaptions();
    const QString path = dialog_.workDirectory().filePath(QString::fromLatin1(kMacrosFileName));
    const QString error = saveMacros(macros_, path);
    if (!error.isEmpty())
        dialog_.messageBoxes().showMessage(audio::MessageIcon::Error, QStringLiteral("Macros"),
                                           QStringLiteral("The macros could not be saved to\n%1\n\n%2\n\n"
                                                          "They stay in force until the program ends.")
                                               .arg(path, error));
}

void OperatorDesk::logQso() {
    const QDateTime off = now();
    const double hz = station_.rig().dial().frequencyHz;
    QsoRecord prefill;
    prefill.call = other_.call();
    prefill.name = other_.name();
    prefill.on = other_.contactStart().isValid() ? other_.contactStart() : off;
    prefill.off = off;
    prefill.frequencyMHz = megaHertzText(hz);
    prefill.band = bandOfFrequency(hz / 1e6);
    prefill.stationCall = myCall();
    prefill.speedBaud = baudOf(dialog_.profile());
    const QString path = dialog_.workDirectory().filePath(QString::fromLatin1(kQsoLogFileName));
    QsoDialog box(&dialog_, prefill, [this, path](const QsoRecord& qso) {
        return appendQso(path, qso, now(), QStringLiteral(VANTREL_VERSION));
    });
    const bool logged = box.exec() == QDialog::Accepted;
    // What was typed for the call and name stays for the macros, logged or not.
    const QsoRecord typed = box.record();
    other_.setCall(typed.call);
    other_.setName(typed.name);
    if (logged) other_.contactLogged();
}

// Said in a box that does not hold the window: receiving goes on while it is up.
void OperatorDesk::showLogProblem(const QString& path, const QString& error) {
    const QString text = QStringLiteral("The receive log cannot be written to\n%1\n\n%2\n\nReceiving goes on; "
                                        "Options \u2192 Receive log turns the log off.").arg(path, error);
    if (!logProblemBox_) {
        auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Receive log"), text, QMessageBox::Ok, &dialog_);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        logProblemBox_ = box;
    }
    logProblemBox_->setText(text);
    logProblemBox_->show();
}

bool OperatorDesk::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int index = shiftedMacroKey(*static_cast<QKeyEvent*>(event));
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (index >= 0 && widget && widget->window() == &dialog_) {
            runMacro(index, false);
            return true;
        }
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == dialog_.rxScreen()->viewport()) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QTextCursor at = dialog_.rxScreen()->cursorForPosition(mouse->position().toPoint());
        const QString word = wordAt(at.block().text(), at.positionInBlock());
        if (looksLikeCall(word)) other_.setCall(word);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace vantrel::app
