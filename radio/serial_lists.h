// The fixed choices of the port settings and the small text rules of the serial layer.
// Lists are 1-based where stored (position 0 = nothing selected).
#pragma once

#include "radio/serial_link.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::radio {

inline constexpr int kFixedPortCount = 20;  // "COM1".."COM20"

inline constexpr std::array<std::string_view, 13> kBaudRates{
    "110",   "300",    "1200",   "2400",   "4800",   "9600",  "19200",
    "38400", "57600", "115200", "230400", "460800", "921600"};
inline constexpr std::array<std::string_view, 4> kDataBits{"5", "6", "7", "8"};
inline constexpr std::array<std::string_view, 5> kParities{"Even", "Odd", "None", "Mark", "Space"};
inline constexpr std::array<std::string_view, 3> kStopBits{"1", "1.5", "2"};

// "COM1".."COM20".
std::vector<std::string> fixedPortNames();

// The device to open for a port text: "COMn" (n >= 1) is /dev/ttyS(n-1), the traditional PC
// mapping; anything else is a device path or name, opened as typed.
std::string devicePathForPort(std::string_view portText);

// The 1-based position of text in a list, 0 when it is not an entry.
template <std::size_t N>
int listPosition(const std::array<std::string_view, N>& list, std::string_view text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (list[i] == text) return static_cast<int>(i) + 1;
    }
    return 0;
}

// The entry at a 1-based position, empty when the position is outside the list.
template <std::size_t N>
std::string_view listEntry(const std::array<std::string_view, N>& list, int position)
{
    if (position < 1 || position > static_cast<int>(N)) return {};
    return list[static_cast<std::size_t>(position - 1)];
}

// Hexadecimal digits taken from the left until the first other character; none gives 0.
// At most maxDigits digits are read.
unsigned readHex(std::string_view text, std::size_t maxDigits = 8);

// Each pair of characters (the last may be single) read as a hexadecimal byte; blanks before a
// pair are skipped.
std::vector<std::uint8_t> hexPairsToBytes(std::string_view text);

// A number at the start of a line-setting text ("19200", "8"); nothing when there is none.
std::optional<int> leadingNumber(std::string_view text);

// The line format named by the dialog's texts; unknown parity is none, unknown stop bits none.
Parity parityFromText(std::string_view text);
std::optional<StopBits> stopBitsFromText(std::string_view text);

}  // namespace vantrel::radio
