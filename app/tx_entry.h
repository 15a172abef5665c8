// The transmit entry (control 430): the sentence being prepared. Text is 8-bit (one Latin-1
// character per QChar); lines are CR LF in what takeText returns, so the counts the modulator
// works with match what dropSentPrefix removes. GUI thread only.
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>

class QAbstractButton;
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
    void moveCaretToEnd();
    // Pasted or dropped text keeps only what the air can carry: 8-bit characters.
    void insertFromMimeData(const QMimeData* source) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Sits in front of the entry's own key handling: Return or Enter never inserts a line break,
// and its release clicks the SEND button (a synchronous click), then gives the focus back to
// the entry; only a release whose press the entry saw counts. Everything else passes untouched.
class ReturnKeyFilter : public QObject {
    Q_OBJECT
public:
    ReturnKeyFilter(TxEntry* entry, QAbstractButton* sendButton);
    ~ReturnKeyFilter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<TxEntry> entry_;
    QPointer<QAbstractButton> send_;
    bool pressed_ = false;  // Return went down in the entry itself
};

}  // namespace vantrel::app
