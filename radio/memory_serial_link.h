// An in-memory serial port for tests of whatever keys the radio: it records the line states,
// the line format and every byte written. Opening raises DTR and RTS as a real serial driver does.
// The state is shared so a test can read it after the link's owner is gone.
#pragma once

#include "radio/serial_link.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vantrel::radio {

struct MemorySerialLinkState {
    struct Lines {
        bool dtr;
        bool rts;
        bool operator==(const Lines&) const = default;
    };

    std::set<std::string> missingDevices;  // paths that fail to open, as an absent device would
    bool refuseOneAndHalfStopBits = true;  // as the Linux serial drivers do

    bool open = false;
    std::string devicePath;
    int openCount = 0;
    int closeCount = 0;
    bool dtr = false;
    bool rts = false;
    std::vector<Lines> lineHistory;  // every state the lines took, in order, from each open on
    int setLinesCalls = 0;
    int baudRate = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    std::vector<std::uint8_t> written;  // all bytes, across opens
    std::function<void()> onLost;       // the owner's lost handler

    // The device goes away, as an unplugged adapter does: its lines fall, the link is closed and
    // says so.
    void unplug()
    {
        if (!open) return;
        open = false;
        dtr = rts = false;
        lineHistory.push_back({false, false});
        if (onLost) onLost();
    }
};

class MemorySerialLink : public SerialLink {
public:
    MemorySerialLink() : state_(std::make_shared<MemorySerialLinkState>()) {}
    std::shared_ptr<MemorySerialLinkState> state() const { return state_; }

    bool open(const std::string& devicePath) override;
    void close() override;
    bool isOpen() const override { return state_->open; }
    bool setBaudRate(int baud) override;
    bool setDataBits(int bits) override;
    bool setParity(Parity parity) override;
    bool setStopBits(StopBits stopBits) override;
    bool setQueueSizes(int transmitBytes, int receiveBytes) override;
    bool setLines(bool dtr, bool rts) override;
    bool write(std::span<const std::uint8_t> bytes) override;
    void setLostHandler(std::function<void()> handler) override { state_->onLost = std::move(handler); }

private:
    void recordLines(bool dtr, bool rts);
    std::shared_ptr<MemorySerialLinkState> state_;
};

}  // namespace vantrel::radio
