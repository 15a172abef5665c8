// The operator's choices kept between runs: "Settings.ini" in the working directory.
// Plain C++ (no Qt) so the file format is tested on its own. Read once at start-up, written once
// at close-down, on the GUI thread.
//
// The file is a positional, comma-delimited sequence: text in double quotes, numbers in plain
// decimal, lines ended by CR LF. Lines 1..18 are the classic record; line 19 (sensitive receive,
// 0/1) and line 20 (serial device path, quoted) follow them, then lines 21-25 the Hamlib rig
// control, so an older reader that stops after line 18 still reads our file, and a shorter file
// gives the defaults for what it lacks (Sensitive receive on, the port of line 4, Hamlib off).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vantrel::app {

inline constexpr const char* kSettingsFileName = "Settings.ini";

struct AppSettings {
    std::string callsign = "nocall";                   // line 1
    int squelchLevel = 15;                             // line 2
    int captureTop = 122;                              // line 3, bin
    int portIndex = 1;                                 // line 4, 1-based in COM1..COM20
    std::string pttMethod = "PTT";                     // line 5, "PTT" or "CAT"
    std::string radioAddress = "  ";                   // line 6, two hex characters
    int baudIndex = 7;                                 // line 7, 1-based
    int dataBitsIndex = 4;                             // line 8
    int parityIndex = 3;                               // line 9
    int stopBitsIndex = 1;                             // line 10
    int addressIndex = 1;                              // line 11, 1-based in the radio list
    std::string txCommandText = "FEFEnnE01C0001FD";    // line 12
    std::string rxCommandText = "FEFEnnE01C0000FD";    // line 13
    int useCommands = 0;                               // line 14, 0 or 1
    std::string commandKind = "HEX";                   // line 15, "HEX" or "TXT"
    int inputDevice = -1;                              // line 16, -1 = system default
    int outputDevice = -1;                             // line 17
    int lastClientHeight = 100;                        // line 18, pixels, height first
    int lastClientWidth = 100;
    int sensitiveReceive = 1;                          // line 19, 0 or 1; 1 unless chosen 0
    std::string portDevice;                            // line 20, empty = COMn of line 4
    int rigEnabled = 0;                                // line 21, 1 = Hamlib rig control on
    int rigModel = 1;                                  // line 22, Hamlib model number
    std::string rigPort;                               // line 23, device or host:port
    int rigSerialSpeed = 0;                            // line 24, bits/s, 0 = the model's default
    int rigKeyThrough = 1;                             // line 25, 1 = key the transmitter through Hamlib

    bool operator==(const AppSettings&) const = default;
};

// The record as read from `text` (the whole file), with the defaults and limits applied.
// Never fails: missing, malformed or binary content gives defaults field by field.
AppSettings parseSettings(std::string_view text);

// The twenty-five CR LF lines written for `settings`. Text fields lose double quotes, CR, LF and
// code 26, which the format cannot carry.
std::string formatSettings(const AppSettings& settings);

// Reads `path`; a missing or unreadable file gives the defaults.
AppSettings loadSettings(const std::filesystem::path& path = kSettingsFileName);

struct SaveResult {
    bool ok = false;
    std::string error;  // why it failed, for the operator
    explicit operator bool() const { return ok; }
};

// Replaces `path` atomically (temporary file beside it, flushed to disk, renamed over it), so an
// interrupted or failed write leaves the previous file whole.
SaveResult saveSettings(const AppSettings& settings, const std::filesystem::path& path = kSettingsFileName);

// The characters a text field can carry: none of '"', CR, LF or code 26.
bool fitsSettingsText(std::string_view text);
std::string settingsTextOnly(std::string_view text);

}  // namespace vantrel::app
