#include "radio/serial_lists.h"

namespace vantrel::radio {

namespace {

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::vector<std::string> fixedPortNames()
{
    std::vector<std::string> names;
    names.reserve(kFixedPortCount);
    for (int n = 1; n <= kFixedPortCount; ++n) names.push_back("COM" + std::to_string(n));
    return names;
}

std::string devicePathForPort(std::string_view portText)
{
    if (portText.size() > 3 && portText.size() <= 6) {
        const std::string_view prefix = portText.substr(0, 3);
        const std::string_view digits = portText.substr(3);
        const bool isCom = (prefix[0] == 'C' || prefix[0] == 'c') &&
                           (prefix[1] == 'O' || prefix[1] == 'o') &&
                           (prefix[2] == 'M' || prefix[2] == 'm');
        bool allDigits = true;
        for (char c : digits) allDigits = allDigits && isAsciiDigit(c);
        if (isCom && allDigits) {
            const int n = std::stoi(std::string(digits));
            if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return std::string(portText);
}

unsigned readHex(std::string_view text, std::size_t maxDigits)
{
    unsigned value = 0;
    for (std::size_t i = 0; i < text.size() && i < maxDigits; ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0) break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

std::vector<std::uint8_t> hexPairsToBytes(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve((text.size() + 1) / 2);
    std::size_t i = 0;
    while (true) {
        // Blanks between the pairs ("FE FE 66 E0 ...") only separate them.
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        bytes.push_back(static_cast<std::uint8_t>(readHex(text.substr(i, 2), 2)));
        i += 2;
    }
    return bytes;
}

std::optional<int> leadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    long long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && isAsciiDigit(text[i]); ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > 100'000'000) return std::nullopt;  // no port runs that fast
    }
    if (digits == 0) return std::nullopt;
    return static_cast<int>(value);
}

Parity parityFromText(std::string_view text)
{
    if (text == "Even") return Parity::Even;
    if (text == "Odd") return Parity::Odd;
    if (text == "Mark") return Parity::Mark;
    if (text == "Space") return Parity::Space;
    return Parity::None;
}

std::optional<StopBits> stopBitsFromText(std::string_view text)
{
    if (text == "1") return StopBits::One;
    if (text == "1.5") return StopBits::OneAndHalf;
    if (text == "2") return StopBits::Two;
    return std::nullopt;
}

}  // namespace vantrel::radio
