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

PttController::PttController(std::unique_ptr<SerialLink> link) : link_(std::move(link))
{
    if (link_) link_->setLostHandler([this] { linkLost(); });
}

PttController::~PttController()
{
    shutdown();
    if (link_) link_->setLostHandler({});
}

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
    return openDevice({devicePathForPort(portText), std::string(baudText), std::string(dataBitsText),
                       std::string(parityText), std::string(stopBitsText), {}});
}

bool PttController::openDevice(OpenedPort port)
{
    if (!link_ || !link_->open(port.devicePath)) return false;
    // The driver raised both lines on open; a keying interface would key the radio until they drop.
    link_->setLines(false, false);

    CatUnkey& format = port.format;
    format = {port.devicePath, 9600, 8, Parity::None, StopBits::One, {}};
    if (const auto baud = leadingNumber(port.baudText); baud && *baud > 0 && link_->setBaudRate(*baud)) {
        format.baud = *baud;
    }
    if (const auto bits = leadingNumber(port.dataBitsText); bits && *bits >= 5 && *bits <= 8 &&
                                                             link_->setDataBits(*bits)) {
        format.dataBits = *bits;
    }
    format.parity = parityFromText(port.parityText);
    if (!link_->setParity(format.parity)) format.parity = Parity::None;
    if (const auto stop = stopBitsFromText(port.stopBitsText); stop && link_->setStopBits(*stop)) {
        format.stopBits = *stop;
    }
    link_->setQueueSizes(kQueueBytes, kQueueBytes);
    opened_ = std::move(port);
    lost_ = false;
    // Whatever keyed the radio before (a crash, another program) is undone first.
    if (currentMethod() == Method::Cat) unkeyBy(Method::Cat);
    return true;
}

bool PttController::reopen()
{
    if (!lost_ || !opened_ || isPortOpen()) return false;
    return openDevice(*opened_);
}

void PttController::linkLost()
{
    keyed_ = false;
    keyedBy_ = Method::None;
    if (!opened_) return;
    lost_ = true;
    if (onLost_) onLost_();
}

std::optional<CatUnkey> PttController::catUnkey() const
{
    if (!isPortOpen() || !opened_ || currentMethod() != Method::Cat) return std::nullopt;
    CatUnkey unkey = opened_->format;
    unkey.bytes = rxCommandBytes_;
    return unkey;
}

bool PttController::isPortOpen() const { return link_ && link_->isOpen(); }

void PttController::closePort()
{
    lost_ = false;
    opened_.reset();
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

bool PttController::keyTransmitter()
{
    if (!isPortOpen()) return true;
    const Method method = currentMethod();
    if (method == Method::None) return true;
    // Counted as keyed even when refused: the unkey is always tried.
    keyed_ = true;
    keyedBy_ = method;
    return method == Method::Ptt ? link_->setLines(true, true) : link_->write(txCommandBytes_);
}

bool PttController::unkeyTransmitter()
{
    if (!isPortOpen()) return true;
    const Method method = keyed_ ? keyedBy_ : currentMethod();
    bool ok = unkeyBy(method);
    // The method was changed while keyed: after undoing the keying that happened, unkey as the
    // method now chosen does too.
    if (keyed_ && method != currentMethod()) ok = unkeyBy(currentMethod()) && ok;
    keyed_ = false;
    keyedBy_ = Method::None;
    return ok;
}

bool PttController::unkeyBy(Method method)
{
    switch (method) {
    case Method::Ptt: return link_->setLines(false, false);
    case Method::Cat: return link_->write(rxCommandBytes_);
    case Method::None: break;
    }
    return true;
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
    opened_.reset();
    lost_ = false;
    keyed_ = false;
    keyedBy_ = Method::None;
}

}  // namespace vantrel::radio
