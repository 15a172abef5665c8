// Helpers shared by the modem tests.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "modem/varicode.h"

namespace vantrel::modem::test {

// The nibbles a text travels as, in order, from its primary or secondary codes.
inline std::vector<int> codeNibbles(std::string_view text, bool secondary = false) {
    std::vector<int> out;
    for (char c : text) {
        const auto ch = static_cast<std::uint8_t>(c);
        for (char d : secondary ? varicodeTable().encodeSecondary(ch) : varicodeTable().encodePrimary(ch))
            out.push_back(hexDigitValue(d));
    }
    return out;
}

}  // namespace vantrel::modem::test
