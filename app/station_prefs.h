// The program's own choices beyond the classic record: kept in "VantrelChat.conf" (INI, read
// and written with QSettings) beside "Settings.ini", so that file stays exactly as other
// programs read it. Written at every change, so a crash loses nothing. GUI thread only.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantrel::app {

inline constexpr const char* kPrefsFileName = "VantrelChat.conf";

struct StationPrefs {
    int txTimeLimitMinutes = 10;   // 0 = no limit, else 1..60
    bool receiveLog = true;        // VantrelLog-YYYY-MM-DD.txt appended line by line
    bool timeStamps = false;       // "HH:MM " in UTC before each received line
    int transmitLevelDb = 0;       // -30..0, scales the transmitter's audio
    bool openPortAtStart = false;  // the serial port of the PTT settings opened at start
    QString lastRecordingFolder;   // where "Play a recording" last found a file
    QByteArray browserGeometry;    // the signal browser's size and place
    bool browserAlwaysRun = false; // the browser's receivers run with its window closed too

    bool operator==(const StationPrefs&) const = default;
};

// Missing file, missing keys and values out of range give the defaults key by key.
StationPrefs loadStationPrefs(const QString& path);
// False when the file could not be written (a read-only folder): the values stay in force for
// this run.
bool saveStationPrefs(const StationPrefs& prefs, const QString& path);

}  // namespace vantrel::app
