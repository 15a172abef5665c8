// The commands of the program's own beyond the classic menus: typing the tuning frequency and
// setting the transmit level, and where the recording chooser opens.
#include <QDir>

#include "app/chat_station.h"
#include "app/install_paths.h"
#include "app/main_dialog.h"
#include "app/small_dialogs.h"
#include "audio/audio_engine.h"
#include "display/tuning_mouse.h"

namespace vantrel::app {

void MainDialog::editTuningFrequency() {
    const QString d = shownNumber(station_->tuningFrequency());
    QString r = prompt(kTuningPrompt, QStringLiteral("Tuning frequency"), d);
    if (r.isEmpty()) return;
    const RangedEntry entry = roundedEntry(r, display::kMinTuning, display::kMaxTuning);
    station_->setTuningFrequency(entry.value);
    if (entry.message) messages_->showMessage(audio::MessageIcon::Error, QStringLiteral("Tuning frequency"), *entry.message);
}

void MainDialog::editTransmitLevel() {
    const QString d = shownNumber(prefs_.transmitLevelDb);
    QString r = prompt(kTransmitLevelPrompt, QStringLiteral("Transmit level"), d);
    if (r.isEmpty()) return;
    const RangedEntry entry = roundedEntry(r, audio::kMinTransmitLevelDb, audio::kMaxTransmitLevelDb);
    prefs_.transmitLevelDb = entry.value;
    savePrefs();
    station_->engine().setTransmitLevelDb(entry.value);
    if (entry.message) messages_->showMessage(audio::MessageIcon::Error, QStringLiteral("Transmit level"), *entry.message);
}

QString MainDialog::recordingFolder() const {
    if (!prefs_.lastRecordingFolder.isEmpty() && QDir(prefs_.lastRecordingFolder).exists()) return prefs_.lastRecordingFolder;
    // The sample that comes with the program is the first thing a newcomer can try.
    if (const QString sample = installedDataFolder(); !sample.isEmpty()) return sample;
    return workDir_.path();
}

}  // namespace vantrel::app
