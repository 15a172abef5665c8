#include "app/rx_screen.h"

#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <array>

namespace vantrel::app {
namespace {

// Where a sentence stopped by RECV ends in its echo.
constexpr const char* kStoppedMark = "[stopped]";

QString echoLine(const QString& callsign, const QString& text) {
    QString line = QStringLiteral("\n") + callsign + QStringLiteral(": ") + text + QString(12, QLatin1Char(' '));
    return line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

constexpr std::array<const char*, 12> kMonthNames{
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};

}  // namespace

RxScreen::RxScreen(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);  // the history grows all evening; an undo stack would double it
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(false);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

void RxScreen::insertAtEnd(const QString& text) {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    setTextCursor(end);
    ensureCursorVisible();
}

void RxScreen::appendReceived(std::uint8_t code) {
    const bool shown = code == 10 || code == 13 || (code >= 32 && code <= 127);
    if (!shown) return;
    const bool cr = code == 13;
    if (code == 10 && lastWasCr_) {
        lastWasCr_ = false;
        return;
    }
    lastWasCr_ = cr;
    const bool lineBreak = code == 10 || code == 13;
    // The prefix goes before the line's first character that is not a blank, so that a line of
    // the frame's lead-in blanks alone gets none; an echo's line is never blank.
    if (!lineBreak && code != ' ' && linePrefix_ && document()->lastBlock().text().trimmed().isEmpty())
        QTextCursor(document()->lastBlock()).insertText(linePrefix_());
    insertAtEnd(lineBreak ? QStringLiteral("\n") : QString(QChar(code)));
}

void RxScreen::echoSent(const QString& callsign, const QString& text) {
    lastWasCr_ = false;
    echoCallsign_ = callsign;
    echoText_ = text;
    echoShown_ = echoLine(callsign, text);
    insertAtEnd(echoShown_);
}

void RxScreen::markEchoStopped(int sent) {
    const QString shown = toPlainText();
    if (echoShown_.isEmpty() || !shown.endsWith(echoShown_)) return;
    QTextCursor echo(document());
    echo.setPosition(static_cast<int>(shown.size() - echoShown_.size()));
    echo.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    const QString kept = echoText_.left(sent);
    echo.insertText(echoLine(echoCallsign_, (kept.isEmpty() ? kept : kept + QLatin1Char(' ')) + QLatin1String(kStoppedMark)));
    echoShown_.clear();
    setTextCursor(echo);
    ensureCursorVisible();
}

QString RxScreen::textCrLf() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

QString RxScreen::saveFileName(const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    return QStringLiteral("Vantrel") + QStringLiteral("%1").arg(d.day(), 2, 10, QLatin1Char('0')) +
           QLatin1String(kMonthNames[static_cast<std::size_t>(d.month() - 1)]) +
           QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')) + t.toString(QStringLiteral("HHmmss")) +
           QStringLiteral(".doc");
}

RxScreen::SaveResult RxScreen::saveToFile(const QDir& dir, const QDateTime& now) const {
    SaveResult result;
    result.fileName = dir.filePath(saveFileName(now));
    // QSaveFile: a failed write leaves an older file of the same name untouched.
    QSaveFile file(result.fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = (textCrLf() + QStringLiteral("\r\n")).toLatin1();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace vantrel::app
