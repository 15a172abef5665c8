#include "radio/qt_serial_link.h"

#include <QSocketNotifier>
#include <QString>

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace vantrel::radio {

namespace {

// Commands are a few bytes; the driver takes them at once, so this only guards a wedged port.
constexpr int kDrainMilliseconds = 200;

// A control call refused with one of these found no device behind the descriptor any more.
bool deviceMissing(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

}  // namespace

QtSerialLink::QtSerialLink()
{
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError || error == QSerialPort::WriteError) deviceGoneLater();
    });
}

QtSerialLink::~QtSerialLink() { close(); }

bool QtSerialLink::open(const std::string& devicePath)
{
    if (port_.isOpen()) return false;
    port_.setPortName(QString::fromLocal8Bit(devicePath.data(), static_cast<qsizetype>(devicePath.size())));
    // The port applies these while opening; start from a format every device takes, so a rate
    // kept from another device cannot make the open itself fail.
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::WriteOnly)) return false;
    ++session_;
    hangUpOnLastClose();
    // Hang-up and error conditions are reported to a read watch whatever the open mode.
    watch_ = std::make_unique<QSocketNotifier>(port_.handle(), QSocketNotifier::Read);
    QObject::connect(watch_.get(), &QSocketNotifier::activated, &port_, [this] { checkDevice(); });
    return true;
}

void QtSerialLink::checkDevice()
{
    pollfd p{static_cast<int>(port_.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        deviceGone();
        return;
    }
    // Echoes and answers of the radio: nothing here reads them.
    if (p.revents & POLLIN) ::tcflush(p.fd, TCIFLUSH);
}

void QtSerialLink::deviceGoneLater()
{
    QMetaObject::invokeMethod(&port_, [this, session = session_] {
        if (session == session_) deviceGone();
    }, Qt::QueuedConnection);
}

void QtSerialLink::deviceGone()
{
    if (!port_.isOpen()) return;
    watch_.reset();
    port_.clear(QSerialPort::Output);
    port_.close();
    if (onLost_) onLost_();
}

void QtSerialLink::hangUpOnLastClose()
{
    // With HUPCL the kernel drops DTR and RTS when the port's last descriptor closes, which
    // covers a crash or kill -9 while keyed by the lines. The line settings applied later keep
    // the flag: each reads the device's current settings before changing its own field.
    const int fd = static_cast<int>(port_.handle());
    termios t{};
    if (::tcgetattr(fd, &t) != 0 || (t.c_cflag & HUPCL)) return;
    t.c_cflag |= HUPCL;
    ::tcsetattr(fd, TCSANOW, &t);
}

void QtSerialLink::close()
{
    if (!port_.isOpen()) return;
    watch_.reset();
    if (port_.bytesToWrite() > 0) port_.waitForBytesWritten(kDrainMilliseconds);
    port_.close();
}

bool QtSerialLink::isOpen() const { return port_.isOpen(); }

int QtSerialLink::nativeHandle() const { return port_.isOpen() ? static_cast<int>(port_.handle()) : -1; }

bool QtSerialLink::setBaudRate(int baud) { return port_.isOpen() && baud > 0 && port_.setBaudRate(baud); }

bool QtSerialLink::setDataBits(int bits)
{
    if (!port_.isOpen() || bits < 5 || bits > 8) return false;
    return port_.setDataBits(static_cast<QSerialPort::DataBits>(bits));
}

bool QtSerialLink::setParity(Parity parity)
{
    if (!port_.isOpen()) return false;
    switch (parity) {
    case Parity::Even: return port_.setParity(QSerialPort::EvenParity);
    case Parity::Odd: return port_.setParity(QSerialPort::OddParity);
    case Parity::Mark: return port_.setParity(QSerialPort::MarkParity);
    case Parity::Space: return port_.setParity(QSerialPort::SpaceParity);
    case Parity::None: break;
    }
    return port_.setParity(QSerialPort::NoParity);
}

bool QtSerialLink::setStopBits(StopBits stopBits)
{
    if (!port_.isOpen()) return false;
    switch (stopBits) {
    case StopBits::OneAndHalf: return port_.setStopBits(QSerialPort::OneAndHalfStop);
    case StopBits::Two: return port_.setStopBits(QSerialPort::TwoStop);
    case StopBits::One: break;
    }
    return port_.setStopBits(QSerialPort::OneStop);
}

bool QtSerialLink::setQueueSizes(int, int receiveBytes)
{
    // The kernel sizes its own queues; only our read buffer is ours to bound.
    if (!port_.isOpen()) return false;
    port_.setReadBufferSize(receiveBytes);
    return true;
}

bool QtSerialLink::setLines(bool dtr, bool rts)
{
    if (!port_.isOpen()) return false;
    // One ioctl per direction, so lines going the same way change together.
    const int fd = static_cast<int>(port_.handle());
    int raise = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    int drop = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
    bool ok = true;
    if (drop != 0) ok = ::ioctl(fd, TIOCMBIC, &drop) == 0 && ok;
    if (ok && raise != 0) ok = ::ioctl(fd, TIOCMBIS, &raise) == 0;
    // A port without modem lines (a pseudo-terminal) refuses quietly; a vanished one is gone.
    if (!ok && deviceMissing(errno)) deviceGoneLater();
    return ok;
}

bool QtSerialLink::write(std::span<const std::uint8_t> bytes)
{
    if (!port_.isOpen()) return false;
    if (bytes.empty()) return true;
    const auto size = static_cast<qint64>(bytes.size());
    if (port_.write(reinterpret_cast<const char*>(bytes.data()), size) != size) return false;
    // Hand the bytes to the driver now rather than at the next turn of the event loop; what the
    // driver refuses is reported by errorOccurred.
    return port_.flush();
}

}  // namespace vantrel::radio
