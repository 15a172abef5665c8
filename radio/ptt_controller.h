// Keys and unkeys the transceiver over one serial port, by the DTR and RTS lines ("PTT") or by
// command bytes ("CAT": ICOM CI-V frames or the operator's own HEX or TXT commands).
// Owned by the main window for the whole run; every call comes from the GUI thread and none
// waits for the radio. Nothing is ever read back from the port.
//
// A transmitter is never left keyed: closePort unkeys first, and shutdown() (also run by the
// destructor) unkeys and closes whatever state the station is in.
#pragma once

#include "radio/port_settings.h"
#include "radio/serial_link.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::radio {

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
    // refuses is left as it was. False only when the device cannot be opened.
    bool openPort(std::string_view portText, std::string_view baudText,
                  std::string_view dataBitsText, std::string_view parityText,
                  std::string_view stopBitsText);

    // Unkeys if keyed, then closes; does nothing when no port is open.
    void closePort();
    bool isPortOpen() const;

    // Rebuilds the transmit and receive command bytes from the radio address ("66") and the
    // operator's command texts, per useCommands and commandKind; with commands in use the texts
    // are kept in the settings.
    void buildCatCommands(std::string_view addressText, std::string_view txCommandText,
                          std::string_view rxCommandText);
    const std::vector<std::uint8_t>& txCommandBytes() const { return txCommandBytes_; }
    const std::vector<std::uint8_t>& rxCommandBytes() const { return rxCommandBytes_; }

    // Without an open port both do nothing: transmission goes ahead unkeyed.
    void keyTransmitter();
    void unkeyTransmitter();
    bool isKeyed() const { return keyed_; }

    // Unkeys (lines low, or the receive command written) and closes the port. Safe to call any
    // number of times, from any path out of the program.
    void shutdown();

private:
    enum class Method { None, Ptt, Cat };
    Method currentMethod() const;
    void unkeyBy(Method method);

    std::unique_ptr<SerialLink> link_;
    PortSettings settings_;
    std::vector<std::uint8_t> txCommandBytes_;
    std::vector<std::uint8_t> rxCommandBytes_;
    bool keyed_ = false;
    Method keyedBy_ = Method::None;  // the method that keyed, so unkeying undoes that one
};

}  // namespace vantrel::radio
