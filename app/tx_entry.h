// The transmit entry (control 430): the sentence being prepared. Text is 8-bit (one Latin-1
// character per QChar); lines are CR LF in what takeText returns, so the counts the modulator
// works with match what dropSentPrefix removes. GUI thread only.
#pragma once

#include <QPlainTextEdit>

class QKeyEvent;
class QMimeData;

namespace vantrel::app {

class TxEntry : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TxEntry(QWidget* parent = nullptr);

    // The whole current text, lines separated by CR LF; may be empty.
    QString takeText() const;
    // Loses its first `count` characters when it holds at least that many (exactly that many
    // empties it); fewer leaves it unchanged. The caret goes to the end in every case.
    void dropSentPrefix(int count);
    // A sentence of `count` characters was stopped after its first `sent`: only those leave
    // (when the entry still holds `count`, as dropSentPrefix), and the unsent rest is selected at
    // the front, where Delete drops it and Return sends it with whatever follows.
    void keepUnsentRest(int count, int sent);
    void moveCaretToEnd();
    // Pasted or dropped text keeps only what the air can carry: 8-bit characters.
    void insertFromMimeData(const QMimeData* source) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vantrel::app
