#include "app/tx_entry.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

namespace vantrel::app {
namespace {

bool fitsEightBits(const QString& text) {
    for (QChar c : text)
        if (c.unicode() > 0xFF) return false;
    return true;
}

bool isReturn(const QEvent* event) {
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

}  // namespace

TxEntry::TxEntry(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setTabChangesFocus(true);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
}

QString TxEntry::takeText() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void TxEntry::dropSentPrefix(int count) {
    const QString text = takeText();
    if (count > 0 && text.size() >= count) {
        QString rest = text.mid(count);
        rest.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        setPlainText(rest);
    }
    moveCaretToEnd();
}

void TxEntry::keyPressEvent(QKeyEvent* event) {
    // A character the modem has no code for would go out as something else: not taken.
    if (!event->text().isEmpty() && !fitsEightBits(event->text())) return;
    QPlainTextEdit::keyPressEvent(event);
}

void TxEntry::insertFromMimeData(const QMimeData* source) {
    QString text = source->text();
    text.removeIf([](QChar c) { return c.unicode() > 0xFF; });
    insertPlainText(text);
}

void TxEntry::moveCaretToEnd() {
    QTextCursor end = textCursor();
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
}

ReturnKeyFilter::ReturnKeyFilter(TxEntry* entry, QAbstractButton* sendButton)
    : QObject(entry), entry_(entry), send_(sendButton) {
    entry->installEventFilter(this);
}

ReturnKeyFilter::~ReturnKeyFilter() {
    if (entry_) entry_->removeEventFilter(this);
}

bool ReturnKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (watched != entry_) return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        if (!isReturn(event)) return false;
        pressed_ = true;
        return true;  // no line break
    case QEvent::ShortcutOverride:
        if (!isReturn(event)) return false;
        event->accept();  // Return belongs to the entry, not to a default button
        return true;
    case QEvent::FocusOut:
        pressed_ = false;
        return false;
    case QEvent::KeyRelease:
        if (!isReturn(event) || static_cast<QKeyEvent*>(event)->isAutoRepeat()) return false;
        // A release whose press closed a message box elsewhere must not key the transmitter.
        if (!pressed_) return false;
        pressed_ = false;
        if (send_) send_->click();
        if (entry_) entry_->setFocus(Qt::OtherFocusReason);
        return false;
    default:
        return false;
    }
}

}  // namespace vantrel::app
