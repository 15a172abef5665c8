// The serial devices present on this machine, offered in the port list after "COM1".."COM20".
// GUI thread; reads /dev and the system's serial port enumeration.
#pragma once

#include <QList>
#include <QString>

namespace vantrel::radio {

struct PresentSerialPort {
    QString path;         // what the port field shows and openPort opens
    QString description;  // adapter and maker, for the entry's tool tip
};

// Devices present now, by their stable /dev/serial/by-id/ name where they have one; the
// /dev/ttyS0../dev/ttyS19 already reachable as COM1..COM20 are left out.
QList<PresentSerialPort> presentSerialPorts();

// The link in byIdDirectory that resolves to systemLocation, or systemLocation itself.
QString stableSerialPortName(const QString& systemLocation,
                             const QString& byIdDirectory = QStringLiteral("/dev/serial/by-id"));

}  // namespace vantrel::radio
