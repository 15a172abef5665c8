#include "radio/ptt_controller.h"

#include "radio/serial_lists.h"

namespace vantrel::radio {

namespace {

constexpr int kQueueBytes = 4096;
constexpr std::uint8_t kControllerAddress = 0xE0;

std::vector<std::uint8_t> civTransmitFrame(std::uint8_t radio, bool transmitOn)
{
    // Preamble, radio, controller, command 1C 00 (transmit/receive switch), state, end of message.
    return {0xFE, 0xFE, radio, kControllerAddress, 0x1C, 0x00,
            static_cast<std::uint8_t>(transmitOn ? 0x01 : 0x00), 0xFD};
}

std::vector<std::uint8_t> textBytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

}  // namespace

PttController::PttController(std::unique_ptr<SerialLink> link) : link_(std::move(link)) {}

PttController::~PttController() { shutdown(); }

PttController::Method PttController::currentMethod() const
{
    if (settings_.pttMethod == "PTT") return Method::Ptt;
    if (settings_.pttMethod == "CAT") return Method::Cat;
    return Method::None;
}

bool PttController::openPort(std::string_view portText, std::string_view baudText,
                             std::string_view dataBitsText, std::string_view parityText,
                             std::string_view stopBitsText)
{
    closePort();
    if (!link_ || !link_->open(devicePathForPort(portText))) return false;
    // The driver raised both lines on open; a keying interface would key the radio until they drop.
    link_->setLines(false, false);

    if (const auto baud = leadingNumber(baudText); baud && *baud > 0) link_->setBaudRate(*baud);
    if (const auto bits = leadingNumber(dataBitsText); bits && *bits >= 5 && *bits <= 8) {
        link_->setDataBits(*bits);
    }
    link_->setParity(parityFromText(parityText));
    if (const auto stop = stopBitsFromText(stopBitsText)) link_->setStopBits(*stop);
    link_->setQueueSizes(kQueueBytes, kQueueBytes);
    return true;
}

bool PttController::isPortOpen() const { return link_ && link_->isOpen(); }

void PttController::closePort()
{
    if (!isPortOpen()) {
        keyed_ = false;
        return;
    }
    if (keyed_) unkeyTransmitter();
    link_->close();
}

void PttController::buildCatCommands(std::string_view addressText, std::string_view txCommandText,
                                     std::string_view rxCommandText)
{
    const auto address = static_cast<std::uint8_t>(readHex(addressText, 2));
    txCommandBytes_ = civTransmitFrame(address, true);
    rxCommandBytes_ = civTransmitFrame(address, false);
    if (settings_.useCommands != 1) return;

    if (settings_.commandKind == "HEX") {
        txCommandBytes_ = hexPairsToBytes(txCommandText);
        rxCommandBytes_ = hexPairsToBytes(rxCommandText);
    } else if (settings_.commandKind == "TXT") {
        txCommandBytes_ = textBytes(txCommandText);
        rxCommandBytes_ = textBytes(rxCommandText);
    } else {
        return;
    }
    settings_.txCommandText = std::string(txCommandText);
    settings_.rxCommandText = std::string(rxCommandText);
}

void PttController::keyTransmitter()
{
    if (!isPortOpen()) return;
    const Method method = currentMethod();
    switch (method) {
    case Method::Ptt:
        link_->setLines(true, true);
        break;
    case Method::Cat:
        link_->write(txCommandBytes_);
        break;
    case Method::None:
        return;
    }
    keyed_ = true;
    keyedBy_ = method;
}

void PttController::unkeyTransmitter()
{
    if (!isPortOpen()) return;
    const Method method = keyed_ ? keyedBy_ : currentMethod();
    unkeyBy(method);
    // The method was changed while keyed: after undoing the keying that happened, unkey as the
    // method now chosen does too.
    if (keyed_ && method != currentMethod()) unkeyBy(currentMethod());
    keyed_ = false;
    keyedBy_ = Method::None;
}

void PttController::unkeyBy(Method method)
{
    switch (method) {
    case Method::Ptt:
        link_->setLines(false, false);
        break;
    case Method::Cat:
        link_->write(rxCommandBytes_);
        break;
    case Method::None:
        break;
    }
}

void PttController::shutdown()
{
    if (isPortOpen()) {
        // Unkey whether or not a transmission is believed to be running: the radio must end in
        // receive whatever path led here.
        const Method method = keyed_ ? keyedBy_ : currentMethod();
        unkeyBy(method);
        if (method != currentMethod()) unkeyBy(currentMethod());
        link_->close();
    }
    keyed_ = false;
    keyedBy_ = Method::None;
}

}  // namespace vantrel::radio
