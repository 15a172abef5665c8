// The nibble code: primary codes for typed text, secondary codes for the idle text.
// Built once, immutable afterwards; lookups never allocate.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace vantrel::modem {

class VaricodeTable {
public:
    VaricodeTable();

    // Hex digits in transmission order: 1..3 digits (primary), exactly 3 (secondary).
    std::string_view encodePrimary(std::uint8_t character) const;
    std::string_view encodeSecondary(std::uint8_t character) const;

    // Nibble values; an absent place is 0. Returns the character code, or 0 for no character.
    // Any argument outside 0..15 (the receiver can produce 16 and 17) gives 0.
    int decodePrimary(int first, int second, int third) const;
    int decodeSecondary(int first, int second, int third) const;

private:
    struct Code {
        std::array<char, 4> digits{};  // NUL-terminated
        std::uint8_t length = 0;
    };
    static int lookup(const std::array<std::uint8_t, 8 * 16 * 16>& table, int a, int b, int c);

    std::array<Code, 256> primaryCodes_{};
    std::array<Code, 256> secondaryCodes_{};
    std::array<std::uint8_t, 8 * 16 * 16> primaryDecode_{};    // [first 0..7][second][third]
    std::array<std::uint8_t, 8 * 16 * 16> secondaryDecode_{};
};

// The one table of the program, built on first use.
const VaricodeTable& varicodeTable();

// Value 0..15 of one upper-case hex digit.
constexpr int hexDigitValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

}  // namespace vantrel::modem
