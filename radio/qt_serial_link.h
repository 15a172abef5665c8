// The real serial port, on Qt SerialPort. Thin on purpose: the keying logic lives in
// PttController. GUI thread only.
#pragma once

#include "radio/serial_link.h"

#include <QSerialPort>

namespace vantrel::radio {

class QtSerialLink : public SerialLink {
public:
    QtSerialLink();
    ~QtSerialLink() override;

    bool open(const std::string& devicePath) override;
    void close() override;
    bool isOpen() const override;
    bool setBaudRate(int baud) override;
    bool setDataBits(int bits) override;
    bool setParity(Parity parity) override;
    bool setStopBits(StopBits stopBits) override;
    bool setQueueSizes(int transmitBytes, int receiveBytes) override;
    bool setLines(bool dtr, bool rts) override;
    bool write(std::span<const std::uint8_t> bytes) override;

    // The open device's file descriptor, -1 when closed; for checking the line format.
    int nativeHandle() const;

private:
    void hangUpOnLastClose();

    QSerialPort port_;
};

}  // namespace vantrel::radio
