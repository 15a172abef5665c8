// The operator's port and keying choices, as kept in lines 4-15 and 20 of "Settings.ini".
// A plain value: the application copies it to and from its settings record; PttController
// keeps the copy in force and the "PTT settings" dialog edits that copy.
// Texts are 8-bit single-byte (Latin-1) as stored in the file.
#pragma once

#include <string>

namespace vantrel::radio {

struct PortSettings {
    int portIndex = 1;              // 1-based in "COM1".."COM20"; 0 = nothing selected
    std::string pttMethod = "PTT";  // "PTT" (DTR/RTS lines) or "CAT" (command bytes)
    std::string radioAddress = "  ";  // CI-V address, two hexadecimal characters
    int baudIndex = 7;              // 1-based in the baud list; 7 = "19200"
    int dataBitsIndex = 4;          // 1-based in "5".."8"; 4 = "8"
    int parityIndex = 3;            // 1-based in "Even", "Odd", "None", "Mark", "Space"
    int stopBitsIndex = 1;          // 1-based in "1", "1.5", "2"
    int addressIndex = 1;           // 1-based in the radio address list
    std::string txCommandText = "FEFEnnE01C0001FD";
    std::string rxCommandText = "FEFEnnE01C0000FD";
    int useCommands = 0;            // 1 = send the operator's commands instead of CI-V frames
    std::string commandKind = "HEX";  // "HEX" byte pairs or "TXT" plain text
    std::string portPath;           // device typed or chosen beyond the COM list; empty = portIndex

    bool operator==(const PortSettings&) const = default;
};

}  // namespace vantrel::radio
