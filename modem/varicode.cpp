#include "varicode.h"

namespace vantrel::modem {
namespace {

// The primary code grid, character codes 0..255 in order.
constexpr std::array<std::string_view, 256> kPrimaryGrid{
    "1F9", "1FA", "1FB", "1FC", "1FD", "1FE", "1FF", "288", "2C",  "289", "28A", "28B", "28C", "2D",  "28D", "28E",
    "28F", "298", "299", "29A", "29B", "29C", "29D", "29E", "29F", "2A8", "2A9", "2AA", "2AB", "2AC", "2AD", "2AE",
    "0",   "7B",  "08E", "0AB", "09A", "099", "08F", "7A",  "08C", "08B", "09D", "088", "2B",  "7E",  "7D",  "089",
    "3F",  "4A",  "4F",  "59",  "68",  "5C",  "5E",  "6C",  "6B",  "6E",  "08A", "08D", "0A8", "7F",  "09F", "7C",
    "098", "39",  "4E",  "3C",  "3E",  "38",  "4C",  "58",  "5A",  "3A",  "78",  "6A",  "4B",  "48",  "4D",  "3B",
    "49",  "6F",  "3D",  "2F",  "2E",  "5B",  "6D",  "5D",  "5F",  "69",  "79",  "0AE", "0A9", "0AF", "0AA", "09C",
    "09B", "4",   "1B",  "0C",  "0B",  "1",   "0F",  "19",  "0A",  "5",   "2A",  "1E",  "09",  "0E",  "6",   "3",
    "18",  "28",  "7",   "08",  "2",   "0D",  "1D",  "1C",  "1F",  "1A",  "29",  "0AC", "09E", "0AD", "0B8", "2AF",
    "2B8", "2B9", "2BA", "2BB", "2BC", "2BD", "2BE", "2BF", "2C8", "2C9", "2CA", "2CB", "2CC", "2CD", "2CE", "2CF",
    "2D8", "2D9", "2DA", "2DB", "2DC", "2DD", "2DE", "2DF", "2E8", "2E9", "2EA", "2EB", "2EC", "2ED", "2EE", "2EF",
    "0B9", "0BA", "0BB", "0BC", "0BD", "0BE", "0BF", "0C8", "0C9", "0CA", "0CB", "0CC", "0CD", "0CE", "0CF", "0D8",
    "0D9", "0DA", "0DB", "0DC", "0DD", "0DE", "0DF", "0E8", "0E9", "0EA", "0EB", "0EC", "0ED", "0EE", "0EF", "0F8",
    "0F9", "0FA", "0FB", "0FC", "0FD", "0FE", "0FF", "188", "189", "18A", "18B", "18C", "18D", "18E", "18F", "198",
    "199", "19A", "19B", "19C", "19D", "19E", "19F", "1A8", "1A9", "1AA", "1AB", "1AC", "1AD", "1AE", "1AF", "1B8",
    "1B9", "1BA", "1BB", "1BC", "1BD", "1BE", "1BF", "1C8", "1C9", "1CA", "1CB", "1CC", "1CD", "1CE", "1CF", "1D8",
    "1D9", "1DA", "1DB", "1DC", "1DD", "1DE", "1DF", "1E8", "1E9", "1EA", "1EB", "1EC", "1ED", "1EE", "1EF", "1F8",
};

constexpr char kHex[] = "0123456789ABCDEF";

int index3(int a, int b, int c) { return (a * 16 + b) * 16 + c; }

}  // namespace

VaricodeTable::VaricodeTable() {
    for (int ch = 0; ch < 256; ++ch) {
        const std::string_view p = kPrimaryGrid[static_cast<std::size_t>(ch)];
        Code& pc = primaryCodes_[static_cast<std::size_t>(ch)];
        for (std::size_t i = 0; i < p.size(); ++i) pc.digits[i] = p[i];
        pc.length = static_cast<std::uint8_t>(p.size());

        // The secondary code follows from the primary: always three nibbles, first 3..7.
        int n[3] = {hexDigitValue(p[0]), p.size() > 1 ? hexDigitValue(p[1]) : 0,
                    p.size() > 2 ? hexDigitValue(p[2]) : 0};
        int s[3];
        if (p.size() == 1) {
            s[0] = 3; s[1] = 8; s[2] = 8 + n[0];
        } else if (p.size() == 2) {
            s[0] = 4; s[1] = n[0] + 8; s[2] = n[1];
        } else {
            s[0] = n[0] + 5; s[1] = n[1]; s[2] = n[2];
        }
        Code& sc = secondaryCodes_[static_cast<std::size_t>(ch)];
        for (int i = 0; i < 3; ++i) sc.digits[static_cast<std::size_t>(i)] = kHex[s[i]];
        sc.length = 3;

        primaryDecode_[static_cast<std::size_t>(index3(n[0], n[1], n[2]))] = static_cast<std::uint8_t>(ch);
        secondaryDecode_[static_cast<std::size_t>(index3(s[0], s[1], s[2]))] = static_cast<std::uint8_t>(ch);
    }
}

std::string_view VaricodeTable::encodePrimary(std::uint8_t character) const {
    const Code& c = primaryCodes_[character];
    return {c.digits.data(), c.length};
}

std::string_view VaricodeTable::encodeSecondary(std::uint8_t character) const {
    const Code& c = secondaryCodes_[character];
    return {c.digits.data(), c.length};
}

int VaricodeTable::lookup(const std::array<std::uint8_t, 8 * 16 * 16>& table, int a, int b, int c) {
    if (a < 0 || a > 7 || b < 0 || b > 15 || c < 0 || c > 15) return 0;
    return table[static_cast<std::size_t>(index3(a, b, c))];
}

int VaricodeTable::decodePrimary(int first, int second, int third) const {
    return lookup(primaryDecode_, first, second, third);
}

int VaricodeTable::decodeSecondary(int first, int second, int third) const {
    return lookup(secondaryDecode_, first, second, third);
}

const VaricodeTable& varicodeTable() {
    static const VaricodeTable table;
    return table;
}

}  // namespace vantrel::modem
