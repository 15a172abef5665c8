#include "app/receive_log.h"

namespace vantrel::app {
namespace {

// Blanks at either end carry nothing: the frame's lead-in and tail are spaces.
QString trimmedLine(const QString& line) { return line.trimmed(); }

}  // namespace

QString receiveLogFileName(const QDate& utcDate) {
    return QStringLiteral("VantrelLog-") + utcDate.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".txt");
}

QByteArray receiveLogRecord(const QDateTime& utc, const char* direction, const QString& line) {
    QByteArray bytes = utc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
    bytes += "Z ";
    bytes += direction;
    bytes += ' ';
    bytes += line.toLatin1();
    bytes += "\r\n";
    return bytes;
}

ReceiveLog::ReceiveLog(Folder folder, Clock clock, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), clock_(std::move(clock)) {
    idle_.setSingleShot(true);
    idle_.setInterval(kLineIdleMs);
    connect(&idle_, &QTimer::timeout, this, [this] { endReceivedLine(); });
}

void ReceiveLog::received(std::span<const std::uint8_t> characters) {
    bool grew = false;
    for (std::uint8_t c : characters) {
        if (c == 10 || c == 13) {
            endReceivedLine();
        } else if (c >= 32 && c <= 127) {
            line_ += QChar(c);
            grew = true;
        }
    }
    if (!grew) return;
    lastCharacterAt_ = clock_();
    idle_.start();
}

void ReceiveLog::endReceivedLine() {
    idle_.stop();
    const QString line = trimmedLine(line_);
    line_.clear();
    if (!line.isEmpty()) record("RX", line, lastCharacterAt_.isValid() ? lastCharacterAt_ : clock_());
}

void ReceiveLog::sent(const QString& callsign, const QString& text) {
    endReceivedLine();
    QString framed = callsign + QStringLiteral(": ") + text;
    framed.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    framed.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QDateTime now = clock_();
    for (const QString& line : framed.split(QLatin1Char('\n'))) {
        const QString trimmed = trimmedLine(line);
        if (!trimmed.isEmpty()) record("TX", trimmed, now);
    }
}

void ReceiveLog::record(const char* direction, const QString& line, const QDateTime& utc) {
    emit lineLogged(QLatin1String(direction), line, utc);
    if (!writing_) return;
    QString error;
    if (write(receiveLogRecord(utc, direction, line), utc.toUTC().date(), error)) {
        failing_ = false;
        return;
    }
    if (failing_) return;
    failing_ = true;
    emit writeFailed(filePath_, error);
}

bool ReceiveLog::write(const QByteArray& bytes, const QDate& date, QString& error) {
    const QString path = folder_().filePath(receiveLogFileName(date));
    if (path != filePath_ || !file_.isOpen()) {
        file_.close();
        filePath_ = path;
        file_.setFileName(path);
        // Append only, unbuffered: every record is one write() straight to the kernel.
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            error = file_.errorString();
            return false;
        }
    }
    if (file_.write(bytes) == bytes.size()) return true;
    error = file_.errorString();
    // Opened again for the next record: the folder may have come back.
    file_.close();
    return false;
}

}  // namespace vantrel::app
