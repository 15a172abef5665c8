// The nibble code, alone and as the receiver walks it:
// - every byte's primary and secondary code decodes back to that byte (code 0 to "no character");
// - a byte string sent as primary codes comes out of the decoder as exactly its characters that
//   the receive pane shows;
// - any stream of nibble values (0..17, as the receiver can produce them) decodes, pass by pass,
//   to what the code's rule gives when the stream is walked in one go, and the decoder reads only
//   the tone positions it is handed (they live in a buffer of exactly that size).
// The first input byte picks the speed (4 or 8 symbols a pass) and the mode of the run.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "modem/rx_decoder.h"
#include "modem/varicode.h"
#include "nibble_rule.h"

using namespace vantrel::modem;
using namespace vantrel::fuzz;

namespace {

void checkEachCode(std::uint8_t c) {
    const VaricodeTable& t = varicodeTable();
    const auto p = t.encodePrimary(c);
    const auto s = t.encodeSecondary(c);
    FUZZ_CHECK(p.size() >= 1 && p.size() <= 3 && s.size() == 3, "code length");
    int n[3] = {0, 0, 0};
    for (std::size_t i = 0; i < p.size(); ++i) n[i] = hexDigitValue(p[i]);
    FUZZ_CHECK(t.decodePrimary(n[0], n[1], n[2]) == c, "primary code does not decode to its character");
    FUZZ_CHECK(t.decodeSecondary(hexDigitValue(s[0]), hexDigitValue(s[1]), hexDigitValue(s[2])) == c,
               "secondary code does not decode to its character");
}

// Runs the decoder over the symbol values, n a pass, by handing it the tone positions that
// produce them; returns what it printed. Values 16 and 17 stand for steps no code can make.
Walked decodeStream(const ModeProfile& profile, const std::vector<int>& values) {
    RxDecoder decoder;
    decoder.setProfile(profile);
    decoder.reset();
    const int n = symbolsPerBlock(profile);
    // Position 0 first, then one tone step (value + 2, four bins a tone) per value, on the ring.
    std::vector<int> positions{0};
    for (int v : values) positions.push_back((positions.back() + 4 * (v + 2)) % (4 * kToneCount));
    Walked out;
    for (std::size_t first = 0; first < positions.size() + 2 * static_cast<std::size_t>(n); first += static_cast<std::size_t>(n)) {
        auto peaks = std::make_unique<double[]>(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const std::size_t at = first + static_cast<std::size_t>(i);
            peaks[static_cast<std::size_t>(i)] = at < positions.size() ? positions[at] : positions.back();
        }
        const DecodedChars chars = decoder.decode({peaks.get(), static_cast<std::size_t>(n)}, 100, 1);
        FUZZ_CHECK(chars.squelchOpen, "squelch closed above its level");
        FUZZ_CHECK(chars.primaryCount >= 0 && chars.primaryCount <= n, "primary count");
        FUZZ_CHECK(chars.secondaryCount >= 0 && chars.secondaryCount <= n, "secondary count");
        for (std::uint8_t c : chars.primaryText()) {
            FUZZ_CHECK(shown(c), "primary character the pane does not show");
            out.primary += static_cast<char>(c);
        }
        for (std::uint8_t c : chars.secondaryText()) {
            FUZZ_CHECK(c >= 32 && c <= 122, "secondary character outside the idle text's range");
            out.secondary += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 4096) return 0;
    const ModeProfile& profile = kProfiles[(data[0] & 1) ? 0 : 3];  // 4 or 8 symbols a pass
    const bool asText = (data[0] & 2) != 0;
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;

    for (std::size_t i = 0; i < length; ++i) checkEachCode(body[i]);

    std::vector<int> values;
    std::string expected;
    if (asText) {
        for (std::size_t i = 0; i < length; ++i) {
            for (char d : varicodeTable().encodePrimary(body[i])) values.push_back(hexDigitValue(d));
            if (shown(body[i])) expected += static_cast<char>(body[i]);
        }
        values.push_back(0);  // a space after the text ends its last code; it is not compared
    } else {
        for (std::size_t i = 0; i < length; ++i) values.push_back(body[i] % 18);
    }

    const Walked got = decodeStream(profile, values);
    if (asText) {
        FUZZ_CHECK(got.primary == expected, "text sent as primary codes did not come back as sent");
    }
    // The same stream in one go: the decoder's first pass sees n steps that stay in place (value
    // 16) before the first real value, and the stream ends in such steps.
    const int n = symbolsPerBlock(profile);
    std::vector<int> whole(static_cast<std::size_t>(n), 16);
    whole.insert(whole.end(), values.begin(), values.end());
    const std::size_t starts = whole.size();
    whole.resize(whole.size() + 3 * static_cast<std::size_t>(n), 16);
    const Walked rule = walk(whole, starts);
    FUZZ_CHECK(got.primary == rule.primary, "decoder's typed text differs from the code's rule");
    FUZZ_CHECK(got.secondary == rule.secondary, "decoder's idle text differs from the code's rule");
    return 0;
}
