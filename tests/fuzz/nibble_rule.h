// The nibble code's receive rule written out plainly from the encode tables, so the fuzz targets
// can hold the decoder to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "modem/varicode.h"

namespace vantrel::fuzz {

using modem::hexDigitValue;
using modem::varicodeTable;
using modem::VaricodeTable;

inline bool shown(int c) { return c == 10 || c == 13 || (c >= 32 && c <= 127); }
inline bool isStart(int d) { return d >= 0 && d <= 7; }
inline bool isContinuation(int d) { return d >= 8 && d <= 15; }

// The code tables read backwards, built from the encode side only.
struct ReverseCodes {
    std::map<std::vector<int>, int> primary, secondary;
    ReverseCodes() {
        const VaricodeTable& t = varicodeTable();
        for (int c = 0; c < 256; ++c) {
            std::vector<int> p, s;
            for (char d : t.encodePrimary(static_cast<std::uint8_t>(c))) p.push_back(hexDigitValue(d));
            for (char d : t.encodeSecondary(static_cast<std::uint8_t>(c))) s.push_back(hexDigitValue(d));
            primary[p] = c;
            secondary[s] = c;
        }
    }
    int find(const std::map<std::vector<int>, int>& m, std::vector<int> key) const {
        const auto it = m.find(key);
        return it == m.end() ? 0 : it->second;
    }
};

inline const ReverseCodes& reverse() {
    static const ReverseCodes r;
    return r;
}

struct Walked {
    std::string primary, secondary;
};

// The rule applied to the whole stream at once; d must hold two values past the last start.
inline Walked walk(const std::vector<int>& d, std::size_t starts) {
    Walked w;
    const ReverseCodes& r = reverse();
    for (std::size_t i = 0; i < starts; ++i) {
        if (d[i] >= 3 && d[i] <= 7 && isContinuation(d[i + 1]) && isContinuation(d[i + 2])) {
            const int c = r.find(r.secondary, {d[i], d[i + 1], d[i + 2]});
            if (c >= 32 && c <= 122) w.secondary += static_cast<char>(c);
        }
        if (!isStart(d[i])) continue;
        int c;
        if (isStart(d[i + 1])) {
            c = r.find(r.primary, {d[i]});
        } else if (isStart(d[i + 2])) {
            c = r.find(r.primary, {d[i], d[i + 1]});
            i += 1;
        } else {
            c = r.find(r.primary, {d[i], d[i + 1], d[i + 2]});
            i += 2;
        }
        if (shown(c)) w.primary += static_cast<char>(c);
    }
    return w;
}

}  // namespace vantrel::fuzz
