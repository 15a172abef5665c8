// The QSO log "VantrelLog.adi" in the working folder: ADIF 3.1, which every logbook program
// imports. A new file starts with the header; each contact is appended as one record, written
// whole or not at all, and the file is never rewritten. Text is 8-bit; field lengths count its
// bytes. GUI thread only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace vantrel::app {

inline constexpr const char* kQsoLogFileName = "VantrelLog.adi";
inline constexpr const char* kAdifProgramId = "VantrelChat";

struct QsoRecord {
    QString call;            // the other station
    QDateTime on;            // UTC: the contact's first line
    QDateTime off;           // UTC: when it was logged
    QString frequencyMHz;    // "14.078500"; empty when unknown
    QString band;            // "20m"; empty when unknown
    QString rstSent;
    QString rstReceived;
    QString name;
    QString comment;
    QString stationCall;     // our call sign
    int speedBaud = 11;      // the mode's speed, in APP_VANTRELCHAT_SPEED
};

// The ADIF band a frequency lies in ("20m"), or empty outside every band.
QString bandOfFrequency(double mhz);
// Every band that name, lowest frequency first.
QStringList adifBandNames();
// The dial in MHz as ADIF writes it ("14.078500"); empty for 0 (unknown).
QString megaHertzText(double hz);

QByteArray adifHeader(const QDateTime& createdUtc, const QString& programVersion);
QByteArray adifRecord(const QsoRecord& qso);

// Appends the record (after the header when the file is new or empty) and hands it to the disk.
// Empty when written, else why not; a failed write leaves the file as it was.
QString appendQso(const QString& path, const QsoRecord& qso, const QDateTime& nowUtc, const QString& programVersion);

}  // namespace vantrel::app
