#include "radio/memory_serial_link.h"

namespace vantrel::radio {

bool MemorySerialLink::open(const std::string& devicePath)
{
    if (state_->open || state_->missingDevices.contains(devicePath)) return false;
    state_->open = true;
    state_->devicePath = devicePath;
    ++state_->openCount;
    recordLines(true, true);
    return true;
}

void MemorySerialLink::close()
{
    if (!state_->open) return;
    state_->open = false;
    ++state_->closeCount;
    // Closing hangs up: the driver drops both lines.
    recordLines(false, false);
}

bool MemorySerialLink::setBaudRate(int baud)
{
    if (!state_->open || baud <= 0) return false;
    state_->baudRate = baud;
    return true;
}

bool MemorySerialLink::setDataBits(int bits)
{
    if (!state_->open || bits < 5 || bits > 8) return false;
    state_->dataBits = bits;
    return true;
}

bool MemorySerialLink::setParity(Parity parity)
{
    if (!state_->open) return false;
    state_->parity = parity;
    return true;
}

bool MemorySerialLink::setStopBits(StopBits stopBits)
{
    if (!state_->open) return false;
    if (stopBits == StopBits::OneAndHalf && state_->refuseOneAndHalfStopBits) return false;
    state_->stopBits = stopBits;
    return true;
}

bool MemorySerialLink::setQueueSizes(int, int) { return state_->open; }

bool MemorySerialLink::setLines(bool dtr, bool rts)
{
    if (!state_->open) return false;
    ++state_->setLinesCalls;
    recordLines(dtr, rts);
    return true;
}

bool MemorySerialLink::write(std::span<const std::uint8_t> bytes)
{
    if (!state_->open) return false;
    state_->written.insert(state_->written.end(), bytes.begin(), bytes.end());
    return true;
}

void MemorySerialLink::recordLines(bool dtr, bool rts)
{
    state_->dtr = dtr;
    state_->rts = rts;
    state_->lineHistory.push_back({dtr, rts});
}

}  // namespace vantrel::radio
