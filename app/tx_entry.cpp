#include "app/tx_entry.h"

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

QString withLineFeeds(QString text) { return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

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
    if (count > 0 && text.size() >= count) setPlainText(withLineFeeds(text.mid(count)));
    moveCaretToEnd();
}

void TxEntry::keepUnsentRest(int count, int sent) {
    const QString text = takeText();
    if (count <= 0 || sent < 0 || sent >= count || text.size() < count) {
        moveCaretToEnd();
        return;
    }
    setPlainText(withLineFeeds(text.mid(sent)));
    QTextCursor rest = textCursor();
    rest.setPosition(0);
    rest.setPosition(static_cast<int>(withLineFeeds(text.mid(sent, count - sent)).size()), QTextCursor::KeepAnchor);
    setTextCursor(rest);
    ensureCursorVisible();
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

}  // namespace vantrel::app
