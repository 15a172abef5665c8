#include "app/qso_log.h"

#include <QFile>

#include <array>

#include <unistd.h>

namespace vantrel::app {
namespace {

struct Band {
    const char* name;
    double lowMHz;
    double highMHz;
};

// The ADIF band table, as far as amateur radio equipment reaches.
constexpr std::array<Band, 23> kBands{{
    {"2190m", 0.1357, 0.1378}, {"630m", 0.472, 0.479}, {"560m", 0.501, 0.504}, {"160m", 1.8, 2.0},
    {"80m", 3.5, 4.0},         {"60m", 5.06, 5.45},    {"40m", 7.0, 7.3},      {"30m", 10.1, 10.15},
    {"20m", 14.0, 14.35},      {"17m", 18.068, 18.168}, {"15m", 21.0, 21.45},  {"12m", 24.89, 24.99},
    {"10m", 28.0, 29.7},       {"8m", 40.0, 45.0},     {"6m", 50.0, 54.0},     {"5m", 54.000001, 69.9},
    {"4m", 70.0, 71.0},        {"2m", 144.0, 148.0},   {"1.25m", 222.0, 225.0}, {"70cm", 420.0, 450.0},
    {"33cm", 902.0, 928.0},    {"23cm", 1240.0, 1300.0}, {"13cm", 2300.0, 2450.0},
}};

// One field as "<NAME:bytes>value "; a string field cannot hold a line break.
QByteArray field(const char* name, const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray bytes = text.trimmed().toLatin1();
    return QByteArray("<") + name + ':' + QByteArray::number(bytes.size()) + '>' + bytes + ' ';
}

QByteArray optionalField(const char* name, const QString& value) {
    return value.trimmed().isEmpty() ? QByteArray() : field(name, value);
}

QString adifDate(const QDateTime& utc) { return utc.toUTC().toString(QStringLiteral("yyyyMMdd")); }
QString adifTime(const QDateTime& utc) { return utc.toUTC().toString(QStringLiteral("HHmmss")); }

}  // namespace

QString bandOfFrequency(double mhz) {
    for (const Band& band : kBands)
        if (mhz >= band.lowMHz && mhz <= band.highMHz) return QLatin1String(band.name);
    return {};
}

QStringList adifBandNames() {
    QStringList names;
    for (const Band& band : kBands) names << QLatin1String(band.name);
    return names;
}

QString megaHertzText(double hz) { return hz > 0 ? QString::number(hz / 1e6, 'f', 6) : QString(); }

QByteArray adifHeader(const QDateTime& createdUtc, const QString& programVersion) {
    // Free text first: a reader takes a file that begins with '<' as one without a header.
    QByteArray header = "Vantrel Chat QSO log\r\n";
    header += field("ADIF_VER", QStringLiteral("3.1.4"));
    header += field("PROGRAMID", QLatin1String(kAdifProgramId));
    header += field("PROGRAMVERSION", programVersion);
    header += field("CREATED_TIMESTAMP", adifDate(createdUtc) + QLatin1Char(' ') + adifTime(createdUtc));
    header += "<EOH>\r\n";
    return header;
}

QByteArray adifRecord(const QsoRecord& qso) {
    QByteArray record = field("CALL", qso.call);
    record += field("QSO_DATE", adifDate(qso.on));
    record += field("TIME_ON", adifTime(qso.on));
    // A contact across midnight: without its own date, the end would come before the start.
    if (adifDate(qso.off) != adifDate(qso.on)) record += field("QSO_DATE_OFF", adifDate(qso.off));
    record += field("TIME_OFF", adifTime(qso.off));
    record += optionalField("BAND", qso.band);
    record += optionalField("FREQ", qso.frequencyMHz);
    record += field("MODE", QStringLiteral("MFSK"));
    record += field("APP_VANTRELCHAT_SPEED", QString::number(qso.speedBaud));
    record += optionalField("STATION_CALLSIGN", qso.stationCall);
    record += optionalField("RST_SENT", qso.rstSent);
    record += optionalField("RST_RCVD", qso.rstReceived);
    record += optionalField("NAME", qso.name);
    record += optionalField("COMMENT", qso.comment);
    record += "<EOR>\r\n";
    return record;
}

QString appendQso(const QString& path, const QsoRecord& qso, const QDateTime& nowUtc, const QString& programVersion) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) return file.errorString();
    const qint64 before = file.size();
    QByteArray bytes = before == 0 ? adifHeader(nowUtc, programVersion) : QByteArray();
    bytes += adifRecord(qso);
    // One write, then to the disk: a contact is worth the wait of a sync.
    if (file.write(bytes) == bytes.size() && ::fsync(file.handle()) == 0) return {};
    const QString error = file.errorString().isEmpty() ? QStringLiteral("The disk did not take the record") : file.errorString();
    // Whatever part of the record got in goes again: no half record stays behind.
    file.resize(before);
    return error;
}

}  // namespace vantrel::app
