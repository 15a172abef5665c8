// Keys and unkeys the transceiver over one serial port, by the DTR and RTS lines ("PTT") or by
// command bytes ("CAT": ICOM CI-V frames or the operator's own HEX or TXT commands).
// Owned by the main window for the whole run; every call comes from the GUI thread and none
// waits for the radio. Nothing is ever read back from the port.
//
// A transmitter is never left keyed: opening a port puts the radio in receive first, closePort
// unkeys first, and shutdown() (also run by the destructor) unkeys and closes whatever state the
// station is in. A port whose device goes away is remembered as lost until it opens again.
#pragma once

#include "radio/port_settings.h"
#include "radio/serial_link.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::radio {

// How the radio is put back in receive by command bytes: what the keying guardian needs to do it
// after a crash. The line format is the one the port took.
struct CatUnkey {
    std::string devicePath;
    int baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    std::vector<std::uint8_t> bytes;
};

class PttController {
public:
    explicit PttController(std::unique_ptr<SerialLink> link);
    ~PttController();
    PttController(const PttController&) = delete;
    PttController& operator=(const PttController&) = delete;

    // The choices in force. pttMethod, useCommands and commandKind are read at every key and
    // unkey; the others are read by the settings dialog when it opens the port.
    PortSettings& settings() { return settings_; }
    const PortSettings& settings() const { return settings_; }
    void setSettings(const PortSettings& settings) { settings_ = settings; }

    // Opens the port named by portText ("COM3" is /dev/ttyS2, other texts are device paths),
    // drops DTR and RTS at once, then applies each line setting on its own; a setting the port
    // refuses is left as it was. With "CAT" the receive command is written last, so a radio
    // left keyed by anything earlier goes back to receive. False only when the device cannot be
    // opened.
    bool openPort(std::string_view portText, std::string_view baudText,
                  std::string_view dataBitsText, std::string_view parityText,
                  std::string_view stopBitsText);

    // Unkeys if keyed, then closes; does nothing when no port is open. A lost port is given up.
    void closePort();
    bool isPortOpen() const;

    // The open port's device went away: it stays lost, with nothing keyed, until reopen() or
    // openPort() succeeds or closePort() gives it up. `handler` hears of each loss.
    bool portLost() const { return lost_; }
    void setLostHandler(std::function<void()> handler) { onLost_ = std::move(handler); }
    // Opens the lost port again as it was opened last (the receive command first). False while
    // the device is still missing, or when no port is lost.
    bool reopen();
    // The device path of the open or lost port; empty when there is none.
    std::string portPath() const { return opened_ ? opened_->devicePath : std::string(); }
    // The open port's way back to receive by command bytes; nothing unless "CAT" keys it.
    std::optional<CatUnkey> catUnkey() const;

    // Rebuilds the transmit and receive command bytes from the radio address ("66") and the
    // operator's command texts, per useCommands and commandKind; with commands in use the texts
    // are kept in the settings.
    void buildCatCommands(std::string_view addressText, std::string_view txCommandText,
                          std::string_view rxCommandText);
    const std::vector<std::uint8_t>& txCommandBytes() const { return txCommandBytes_; }
    const std::vector<std::uint8_t>& rxCommandBytes() const { return rxCommandBytes_; }

    // Without an open port both do nothing: transmission goes ahead unkeyed. False when the
    // port refused the lines or the bytes.
    bool keyTransmitter();
    bool unkeyTransmitter();
    bool isKeyed() const { return keyed_; }

    // Unkeys (lines low, or the receive command written) and closes the port. Safe to call any
    // number of times, from any path out of the program.
    void shutdown();

private:
    enum class Method { None, Ptt, Cat };
    struct OpenedPort {
        std::string devicePath, baudText, dataBitsText, parityText, stopBitsText;
        CatUnkey format;  // the line format the port took
    };
    Method currentMethod() const;
    bool unkeyBy(Method method);
    bool openDevice(OpenedPort port);
    void linkLost();

    std::unique_ptr<SerialLink> link_;
    std::optional<OpenedPort> opened_;
    bool lost_ = false;
    std::function<void()> onLost_;
    PortSettings settings_;
    std::vector<std::uint8_t> txCommandBytes_;
    std::vector<std::uint8_t> rxCommandBytes_;
    bool keyed_ = false;
    Method keyedBy_ = Method::None;  // the method that keyed, so unkeying undoes that one
};

}  // namespace vantrel::radio
