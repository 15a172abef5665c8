// The real serial port, on Qt SerialPort. Thin on purpose: the keying logic lives in
// PttController. GUI thread only.
//
// Nothing is ever read: the port is opened for writing only, so a hung-up device cannot wake
// the GUI thread over and over. A watch on the descriptor notices the hang-up of an unplugged
// adapter at once and closes the port; what the radio sends back is thrown away.
#pragma once

#include "radio/serial_link.h"

#include <QSerialPort>

#include <memory>

class QSocketNotifier;

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
    void setLostHandler(std::function<void()> handler) override { onLost_ = std::move(handler); }

    // The open device's file descriptor, -1 when closed; for checking the line format.
    int nativeHandle() const;

private:
    void hangUpOnLastClose();
    void checkDevice();
    // From the event loop: a refusal seen inside a call is acted on once that call is over.
    void deviceGoneLater();
    void deviceGone();

    QSerialPort port_;
    std::unique_ptr<QSocketNotifier> watch_;
    std::function<void()> onLost_;
    int session_ = 0;  // counts opens, so a late report about an earlier device is dropped
};

}  // namespace vantrel::radio
