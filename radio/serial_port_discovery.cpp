#include "radio/serial_port_discovery.h"

#include "radio/serial_lists.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

namespace vantrel::radio {

namespace {

bool isFixedComDevice(const QString& systemLocation)
{
    static const QRegularExpression ttyS(QStringLiteral("^/dev/ttyS(\\d+)$"));
    const auto match = ttyS.match(systemLocation);
    return match.hasMatch() && match.captured(1).toInt() < kFixedPortCount;
}

}  // namespace

QString stableSerialPortName(const QString& systemLocation, const QString& byIdDirectory)
{
    const QString target = QFileInfo(systemLocation).canonicalFilePath();
    if (target.isEmpty()) return systemLocation;
    const QDir dir(byIdDirectory);
    const QStringList links = dir.entryList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : links) {
        const QString path = dir.filePath(name);
        if (QFileInfo(path).canonicalFilePath() == target) return path;
    }
    return systemLocation;
}

QList<PresentSerialPort> presentSerialPorts()
{
    QList<PresentSerialPort> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (isFixedComDevice(info.systemLocation())) continue;
        QString description = info.description();
        if (!info.manufacturer().isEmpty() && !description.contains(info.manufacturer())) {
            description += QStringLiteral(" (") + info.manufacturer() + QLatin1Char(')');
        }
        ports.append({stableSerialPortName(info.systemLocation()), description.trimmed()});
    }
    std::sort(ports.begin(), ports.end(),
              [](const PresentSerialPort& a, const PresentSerialPort& b) { return a.path < b.path; });
    return ports;
}

}  // namespace vantrel::radio
