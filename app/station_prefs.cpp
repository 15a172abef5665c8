#include "app/station_prefs.h"

#include <QSettings>

#include <algorithm>

namespace vantrel::app {
namespace {

int boundedInt(const QSettings& file, const char* key, int fallback, int low, int high) {
    bool ok = false;
    const int value = file.value(QLatin1String(key)).toInt(&ok);
    return ok && value >= low && value <= high ? value : fallback;
}

bool flag(const QSettings& file, const char* key, bool fallback) {
    const QVariant value = file.value(QLatin1String(key));
    if (!value.isValid()) return fallback;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1")) return true;
    if (text == QLatin1String("false") || text == QLatin1String("0")) return false;
    return fallback;
}

}  // namespace

StationPrefs loadStationPrefs(const QString& path) {
    StationPrefs prefs;
    if (path.isEmpty()) return prefs;
    const QSettings file(path, QSettings::IniFormat);
    prefs.txTimeLimitMinutes = boundedInt(file, "transmit/timeLimitMinutes", prefs.txTimeLimitMinutes, 0, 60);
    prefs.transmitLevelDb = boundedInt(file, "transmit/levelDb", prefs.transmitLevelDb, -30, 0);
    prefs.receiveLog = flag(file, "log/receiveLog", prefs.receiveLog);
    prefs.timeStamps = flag(file, "log/timeStamps", prefs.timeStamps);
    prefs.openPortAtStart = flag(file, "port/openAtStart", prefs.openPortAtStart);
    prefs.lastRecordingFolder = file.value(QStringLiteral("recording/lastFolder")).toString();
    prefs.browserGeometry = file.value(QStringLiteral("browser/geometry")).toByteArray();
    prefs.browserAlwaysRun = flag(file, "browser/alwaysRun", prefs.browserAlwaysRun);
    return prefs;
}

bool saveStationPrefs(const StationPrefs& prefs, const QString& path) {
    if (path.isEmpty()) return true;
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("transmit/timeLimitMinutes"), prefs.txTimeLimitMinutes);
    file.setValue(QStringLiteral("transmit/levelDb"), prefs.transmitLevelDb);
    file.setValue(QStringLiteral("log/receiveLog"), prefs.receiveLog);
    file.setValue(QStringLiteral("log/timeStamps"), prefs.timeStamps);
    file.setValue(QStringLiteral("port/openAtStart"), prefs.openPortAtStart);
    file.setValue(QStringLiteral("recording/lastFolder"), prefs.lastRecordingFolder);
    file.setValue(QStringLiteral("browser/geometry"), prefs.browserGeometry);
    file.setValue(QStringLiteral("browser/alwaysRun"), prefs.browserAlwaysRun);
    file.sync();
    return file.status() == QSettings::NoError;
}

}  // namespace vantrel::app
