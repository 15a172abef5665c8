// The serial port as the keying logic sees it: open a device, set the line format and the two
// modem control lines, write bytes, close. Plain C++ so the keying logic can be tested without
// hardware; QtSerialLink is the real port and MemorySerialLink the test double.
// All calls come from the GUI thread. Every setter reports whether the port accepted the value;
// a refused value leaves the port as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace vantrel::radio {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

class SerialLink {
public:
    virtual ~SerialLink() = default;

    // Opens the device (a path such as "/dev/ttyS0", or a bare name under /dev) for reading and
    // writing. Opening a serial device raises DTR and RTS; callers drop them with setLines at once.
    virtual bool open(const std::string& devicePath) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual bool setBaudRate(int baud) = 0;          // bits per second, > 0
    virtual bool setDataBits(int bits) = 0;          // 5..8
    virtual bool setParity(Parity parity) = 0;
    virtual bool setStopBits(StopBits stopBits) = 0;
    virtual bool setQueueSizes(int transmitBytes, int receiveBytes) = 0;

    // Sets DTR and RTS together, in one call to the driver where the platform allows it.
    virtual bool setLines(bool dtr, bool rts) = 0;

    // Hands the whole byte string to the driver without waiting for the line. False when the
    // driver did not take it all.
    virtual bool write(std::span<const std::uint8_t> bytes) = 0;

    // `handler` runs once each time the open device goes away (unplugged, hung up, refusing
    // every write): the link has closed itself by then. It runs from the event loop, never from
    // inside a call of the link.
    virtual void setLostHandler(std::function<void()> handler) = 0;
};

}  // namespace vantrel::radio
