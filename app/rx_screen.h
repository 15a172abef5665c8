// The receive pane (control 413): decoded text and the echo of every sentence sent.
// Text is 8-bit: each QChar holds one Latin-1 character. Lines are CR LF when the text leaves
// the pane (saved file). GUI thread only.
#pragma once

#include <QDateTime>
#include <QDir>
#include <QPlainTextEdit>
#include <QString>

#include <cstdint>
#include <functional>

namespace vantrel::app {

class RxScreen : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit RxScreen(QWidget* parent = nullptr);

    // One decoded character: 10, 13 and 32..127 are shown at the very end of the text, whatever
    // the operator has selected; every other code is dropped.
    void appendReceived(std::uint8_t code);
    // Set: what every received line begins with (the time stamp), asked for when the line's
    // first character arrives. Empty: received lines are shown as they come.
    void setLinePrefix(std::function<QString()> prefix) { linePrefix_ = std::move(prefix); }
    // CR LF + callsign + ": " + text + 12 spaces at the end; the caret follows.
    void echoSent(const QString& callsign, const QString& text);
    // The last echo's sentence was stopped after its first `sent` characters: the echo keeps
    // those and shows where it stopped. An echo cleared or followed by other text stays as it is.
    void markEchoStopped(int sent);
    // The whole text with CR LF between lines, as saved.
    QString textCrLf() const;

    struct SaveResult {
        bool ok = false;
        QString fileName;  // the name tried, also on failure
        QString error;     // why it failed, for the operator
    };
    // Writes the text plus a final CR LF to "Vantrel" + day + month name + year + hhmmss
    // + ".doc" in `dir`, replacing a file of that name. The pane is not changed.
    SaveResult saveToFile(const QDir& dir, const QDateTime& now) const;

    static QString saveFileName(const QDateTime& now);

private:
    void insertAtEnd(const QString& text);

    bool lastWasCr_ = false;  // a CR just shown: its LF must not start a second line
    QString echoCallsign_, echoText_, echoShown_;  // the last echo, as given and as shown
    std::function<QString()> linePrefix_;
};

}  // namespace vantrel::app
