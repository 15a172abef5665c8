// The operator's side of a contact: the receive log, the other station's call, the macros and
// the QSO log, wired to the main window's panes, menus and status row. The station hands it
// what was received and sent; the main window's dispatch hands it the commands of the Macros
// menu and of Options "Receive log" and "Time stamps". GUI thread only.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <span>

#include "app/macros.h"
#include "app/other_station.h"
#include "app/receive_log.h"

class QMessageBox;

namespace vantrel::app {

class ChatStation;
class MainDialog;

class OperatorDesk : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;  // UTC

    OperatorDesk(MainDialog& dialog, ChatStation& station);

    // Once the window's controls and menus exist: the pane, the call field, the menu items.
    void attach();
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // From the station: decoded characters (after the pane showed them), the idle text, the
    // start of a transmission, and what it put on the air when it ended.
    void received(std::span<const std::uint8_t> characters);
    void heardIdleText(std::span<const std::uint8_t> characters);
    void sending();
    void sent(const QString& text);

    // Commands. `send` false only puts the macro into the transmit entry (Shift).
    void runMacro(int index, bool send);
    void editMacros();
    void logQso();
    void toggleReceiveLog();
    void toggleTimeStamps();

    const MacroTexts& macros() const { return macros_; }
    OtherStation& otherStation() { return other_; }
    ReceiveLog& receiveLog() { return log_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QDateTime now() const { return clock_ ? clock_() : QDateTime::currentDateTimeUtc(); }
    QString myCall() const;
    MacroFields macroFields() const;
    void showMacroCaptions();
    void applyPrefs();
    void showLogProblem(const QString& path, const QString& error);

    MainDialog& dialog_;
    ChatStation& station_;
    Clock clock_;
    ReceiveLog log_;
    OtherStation other_;
    MacroTexts macros_;
    QPointer<QMessageBox> logProblemBox_;
};

}  // namespace vantrel::app
