#include "app/chat_station.h"

#include <QFrame>

#include "app/main_dialog.h"
#include "modem/varicode.h"

namespace vantrel::app {

ChatStation::ChatStation(MainDialog& dialog) : dialog_(dialog) {
    modulator_.setIdleText(dialog_.settings().callsign);
}

ChatStation::~ChatStation() = default;

QWidget* ChatStation::createSnrBar(QWidget* parent) { return new QFrame(parent); }
QWidget* ChatStation::createSnrScale(QWidget* parent) { return new QFrame(parent); }
QWidget* ChatStation::createRemainingBar(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return frame;
}
QWidget* ChatStation::createWaterfallView(QWidget*) { return nullptr; }

void ChatStation::initialise() {
    modem::varicodeTable();
    receiver_.setProfile(dialog_.profile());
    receiver_.reset();
    modulator_.setProfile(dialog_.profile());
}

void ChatStation::send() {}
void ChatStation::receive() {}

void ChatStation::changeSpeed(const modem::ModeProfile& profile) {
    modulator_.setProfile(profile);
    receiver_.setProfile(profile);
}

void ChatStation::selectInputDevice() {}
void ChatStation::selectOutputDevice() {}
void ChatStation::openAudioControlPanel() {}
void ChatStation::openPortSettings() {}
void ChatStation::closeSerialPort() {}

void ChatStation::callsignChanged(const QString& callsign) {
    modulator_.callsignChanged(callsign.toLatin1().toStdString());
}

void ChatStation::storeSettings(AppSettings&) const {}
void ChatStation::shutDown() {}

}  // namespace vantrel::app
