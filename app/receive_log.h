// The receive log: every received and every sent line, appended to "VantrelLog-YYYY-MM-DD.txt"
// (the UTC date of the record) in the working folder as the line completes, one record a line:
// "2026-12-07 20:30:15Z RX DL1ABC: text" or "... TX DL2XYZ: text", CR LF, 8-bit text. Each
// record goes to the operating system in one write the moment it is made, so a crash a moment
// later loses nothing; the file is only ever appended to. Lines are assembled whether or not the
// file is written: the call capture reads them too. GUI thread only.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <span>

namespace vantrel::app {

// A received line without a line break is complete after this long without a new character.
inline constexpr int kLineIdleMs = 2000;

// "VantrelLog-2026-12-07.txt" for that UTC date.
QString receiveLogFileName(const QDate& utcDate);
// One record: stamp, direction ("RX" or "TX"), the line, CR LF; the text as 8-bit bytes.
QByteArray receiveLogRecord(const QDateTime& utc, const char* direction, const QString& line);

class ReceiveLog : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;  // the time in UTC
    using Folder = std::function<QDir()>;      // where the files go, read at each record

    ReceiveLog(Folder folder, Clock clock, QObject* parent = nullptr);

    // Off: lines are still assembled (and reported), nothing is written.
    void setWriting(bool on) { writing_ = on; }
    bool writing() const { return writing_; }

    // Decoded characters as the receive pane shows them: CR or LF ends the line, 32..127 join
    // it, every other code is dropped.
    void received(std::span<const std::uint8_t> characters);
    // The received line so far, not yet a record (blanks included).
    const QString& currentLine() const { return line_; }
    // A transmission starts: what was received so far is a line of its own.
    void endReceivedLine();
    // What went on the air, framed by our call sign: one TX record per line of it.
    void sent(const QString& callsign, const QString& text);

signals:
    // A record was made (also while not writing): "RX" or "TX", the line, its time.
    void lineLogged(const QString& direction, const QString& line, const QDateTime& utc);
    // The file could not be written; said once until a record is written again.
    void writeFailed(const QString& path, const QString& error);

private:
    void record(const char* direction, const QString& line, const QDateTime& utc);
    bool write(const QByteArray& bytes, const QDate& date, QString& error);

    Folder folder_;
    Clock clock_;
    bool writing_ = true;
    QString line_;
    QDateTime lastCharacterAt_;  // the received line's end, for its stamp
    QTimer idle_;
    QFile file_;
    QString filePath_;  // the file open now; another date or folder opens another
    bool failing_ = false;
};

}  // namespace vantrel::app
