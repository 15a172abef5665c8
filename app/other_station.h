// The station being worked: its call sign, taken from the "CALL:" that opens its received lines,
// from its idle text, from a word the operator double-clicks in the receive pane or types in the
// QSO dialog; the operator's note of its name; and when the contact began (the first line heard
// from it or sent to it). It is what the macros' <CALL> and <NAME> mean. GUI thread only.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <cstdint>
#include <span>

namespace vantrel::app {

// A word that can be a call sign: 3..16 letters, digits and '/', at least one of each kind.
bool looksLikeCall(const QString& word);
// The call sign that opens a received line ("DL1ABC: hello" gives DL1ABC), or empty.
QString callOpeningLine(const QString& line);
// The run of call-sign characters (letters, digits, '/') around `position` in `text`, or empty.
QString wordAt(const QString& text, int position);

class OtherStation : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QString& call() const { return call_; }
    const QString& name() const { return name_; }
    // The first line of this contact; invalid until a line is heard or sent with a call set.
    const QDateTime& contactStart() const { return contactStart_; }

    // A received line, also while it is still growing; `utc` is when it was heard.
    void heardLine(const QString& line, const QDateTime& utc);
    // A sentence goes out to the station being worked.
    void sendingLine(const QDateTime& utc);
    // The other station's idle text (secondary set), as decoded.
    void heardIdleText(std::span<const std::uint8_t> characters);
    // The operator's choice; another call begins another contact.
    void setCall(const QString& call);
    void setName(const QString& name) { name_ = name; }
    // The contact is in the log: the next line begins the next one.
    void contactLogged() { contactStart_ = QDateTime(); }

signals:
    void callChanged(const QString& call);

private:
    void adopt(const QString& call);

    QString call_;
    QString name_;
    QDateTime contactStart_;
    QString idleWord_;      // the idle text's word being received
    QString lastIdleWord_;  // the word before it
    QString idleAdopted_;   // taken from the idle text once: its repeats do not undo the operator
};

}  // namespace vantrel::app
