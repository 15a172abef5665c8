// The nibble code against the published code grid, and its decode direction.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "modem/varicode.h"

using namespace vantrel::modem;

namespace {

// Primary codes of character codes 0..255, sixteen to a row.
const char* const kGrid[16] = {
    "1F9 1FA 1FB 1FC 1FD 1FE 1FF 288 2C 289 28A 28B 28C 2D 28D 28E",
    "28F 298 299 29A 29B 29C 29D 29E 29F 2A8 2A9 2AA 2AB 2AC 2AD 2AE",
    "0 7B 08E 0AB 09A 099 08F 7A 08C 08B 09D 088 2B 7E 7D 089",
    "3F 4A 4F 59 68 5C 5E 6C 6B 6E 08A 08D 0A8 7F 09F 7C",
    "098 39 4E 3C 3E 38 4C 58 5A 3A 78 6A 4B 48 4D 3B",
    "49 6F 3D 2F 2E 5B 6D 5D 5F 69 79 0AE 0A9 0AF 0AA 09C",
    "09B 4 1B 0C 0B 1 0F 19 0A 5 2A 1E 09 0E 6 3",
    "18 28 7 08 2 0D 1D 1C 1F 1A 29 0AC 09E 0AD 0B8 2AF",
    "2B8 2B9 2BA 2BB 2BC 2BD 2BE 2BF 2C8 2C9 2CA 2CB 2CC 2CD 2CE 2CF",
    "2D8 2D9 2DA 2DB 2DC 2DD 2DE 2DF 2E8 2E9 2EA 2EB 2EC 2ED 2EE 2EF",
    "0B9 0BA 0BB 0BC 0BD 0BE 0BF 0C8 0C9 0CA 0CB 0CC 0CD 0CE 0CF 0D8",
    "0D9 0DA 0DB 0DC 0DD 0DE 0DF 0E8 0E9 0EA 0EB 0EC 0ED 0EE 0EF 0F8",
    "0F9 0FA 0FB 0FC 0FD 0FE 0FF 188 189 18A 18B 18C 18D 18E 18F 198",
    "199 19A 19B 19C 19D 19E 19F 1A8 1A9 1AA 1AB 1AC 1AD 1AE 1AF 1B8",
    "1B9 1BA 1BB 1BC 1BD 1BE 1BF 1C8 1C9 1CA 1CB 1CC 1CD 1CE 1CF 1D8",
    "1D9 1DA 1DB 1DC 1DD 1DE 1DF 1E8 1E9 1EA 1EB 1EC 1ED 1EE 1EF 1F8",
};

std::vector<std::string> gridCodes() {
    std::vector<std::string> codes;
    for (const char* row : kGrid) {
        std::istringstream in(row);
        for (std::string code; in >> code;) codes.push_back(code);
    }
    return codes;
}

std::string hex(int v) { return std::string(1, "0123456789ABCDEF"[v]); }

// The idle-text code: one nibble n -> 3,8,8+n; two a,b -> 4,a+8,b; three a,b,c -> a+5,b,c.
std::string secondaryFromPrimary(const std::string& p) {
    const int a = hexDigitValue(p[0]);
    if (p.size() == 1) return "38" + hex(8 + a);
    if (p.size() == 2) return "4" + hex(a + 8) + p.substr(1);
    return hex(a + 5) + p.substr(1);
}

std::vector<int> nibbles(std::string_view code) {
    std::vector<int> n{0, 0, 0};
    for (std::size_t i = 0; i < code.size(); ++i) n[i] = hexDigitValue(code[i]);
    return n;
}

}  // namespace

TEST(Varicode, EveryCharacterEncodesAsTheGridSays) {
    const auto grid = gridCodes();
    ASSERT_EQ(grid.size(), 256u);
    const auto& t = varicodeTable();
    int lengths[4] = {};
    for (int ch = 0; ch < 256; ++ch) {
        const auto c = static_cast<std::uint8_t>(ch);
        EXPECT_EQ(t.encodePrimary(c), grid[static_cast<std::size_t>(ch)]) << "character " << ch;
        EXPECT_EQ(t.encodeSecondary(c), secondaryFromPrimary(grid[static_cast<std::size_t>(ch)])) << "character " << ch;
        ++lengths[t.encodePrimary(c).size()];
    }
    EXPECT_EQ(t.encodePrimary('\n'), "28A");  // spot checks that the grid was read in order
    EXPECT_EQ(t.encodeSecondary('A'), "4B9");
    EXPECT_EQ(t.encodeSecondary(0), "6F9");
    EXPECT_EQ(lengths[1], 8);
    EXPECT_EQ(lengths[2], 64);
    EXPECT_EQ(lengths[3], 184);
}

TEST(Varicode, DecodeTablesAreExactInversesOfTheCodes) {
    const auto& t = varicodeTable();
    for (int ch = 1; ch < 256; ++ch) {
        const auto p = nibbles(t.encodePrimary(static_cast<std::uint8_t>(ch)));
        const auto s = nibbles(t.encodeSecondary(static_cast<std::uint8_t>(ch)));
        EXPECT_EQ(t.decodePrimary(p[0], p[1], p[2]), ch);
        EXPECT_EQ(t.decodeSecondary(s[0], s[1], s[2]), ch);
    }
    // No entry is reachable except through a code: every hit re-encodes to exactly its nibbles.
    int primaryHits = 0, secondaryHits = 0;
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 16; ++b)
            for (int c = 0; c < 16; ++c) {
                if (const int ch = t.decodePrimary(a, b, c); ch != 0) {
                    ++primaryHits;
                    EXPECT_EQ(nibbles(t.encodePrimary(static_cast<std::uint8_t>(ch))), (std::vector<int>{a, b, c}));
                }
                if (const int ch = t.decodeSecondary(a, b, c); ch != 0) {
                    ++secondaryHits;
                    EXPECT_EQ(nibbles(t.encodeSecondary(static_cast<std::uint8_t>(ch))), (std::vector<int>{a, b, c}));
                }
            }
    EXPECT_EQ(primaryHits, 255);  // character 0 reads as "no character"
    EXPECT_EQ(secondaryHits, 255);
}

TEST(Varicode, DecodingRejectsWhatIsNoCharacter) {
    const auto& t = varicodeTable();
    EXPECT_EQ(t.decodePrimary(5, 0, 0), 'i');
    EXPECT_EQ(t.decodePrimary(0, 8, 0), 's');
    EXPECT_EQ(t.decodePrimary(2, 11, 12), 132);
    EXPECT_EQ(t.decodeSecondary(7, 11, 15), 135);
    EXPECT_EQ(t.decodePrimary(1, 15, 9), 0);  // the code of character 0 never yields a character
    EXPECT_EQ(t.decodePrimary(3, 8, 8), 0);   // a secondary code is no primary character
    EXPECT_EQ(t.decodePrimary(8, 0, 0), 0);
    EXPECT_EQ(t.decodeSecondary(9, 8, 8), 0);
    for (int bad : {16, 17, -1}) {  // the receiver produces 16 and 17 for impossible tone steps
        EXPECT_EQ(t.decodePrimary(bad, 0, 0), 0);
        EXPECT_EQ(t.decodePrimary(0, 8, bad), 0);
        EXPECT_EQ(t.decodeSecondary(3, bad, 8), 0);
        EXPECT_EQ(t.decodeSecondary(3, 8, bad), 0);
    }
}
