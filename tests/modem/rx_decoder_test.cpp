// The decoder: tone steps to symbol values, the squelch, splitting into characters, and what
// reaches the screen; also the busy lock and the squelch level entry.
#include <gtest/gtest.h>

#include "tests/modem/modem_test_support.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "modem/rx_decoder.h"
#include "modem/varicode.h"

using namespace vantrel::modem;

namespace {

using vantrel::modem::test::codeNibbles;

// Slot peaks of a clean signal carrying these symbol values, cut into passes of n. The first
// peak sits where the decoder's empty history is (bin 0); value 16 repeats the previous bin.
// Enough repeated bins follow to let the look-ahead complete.
std::vector<std::vector<double>> passesFor(const std::vector<int>& symbols, int n) {
    std::vector<double> peaks{0};
    for (int s : symbols) peaks.push_back(std::fmod(peaks.back() + 4 * (s + 2), 72.0));
    while (peaks.size() % static_cast<std::size_t>(n) != 0 || peaks.size() < symbols.size() + 2 * static_cast<std::size_t>(n))
        peaks.push_back(peaks.back());
    std::vector<std::vector<double>> passes;
    for (std::size_t i = 0; i < peaks.size(); i += static_cast<std::size_t>(n))
        passes.emplace_back(peaks.begin() + static_cast<long>(i), peaks.begin() + static_cast<long>(i) + n);
    return passes;
}

struct Heard {
    std::string primary, secondary;
};

Heard hear(const std::vector<int>& symbols, const ModeProfile& profile = defaultProfile()) {
    RxDecoder d;
    d.setProfile(profile);
    Heard h;
    for (const auto& pass : passesFor(symbols, symbolsPerBlock(profile))) {
        const DecodedChars out = d.decode(pass, 50, 15);
        EXPECT_TRUE(out.squelchOpen);
        h.primary.append(out.primaryText().begin(), out.primaryText().end());
        h.secondary.append(out.secondaryText().begin(), out.secondaryText().end());
    }
    return h;
}

}  // namespace

TEST(RxDecode, ToneStepsBecomeSymbolValues) {
    RxDecoder d;
    const DecodedChars out = d.decode(std::vector<double>{40, 48, 40, 40, 40, 40, 40, 40}, 50, 15);
    EXPECT_EQ(d.symbolValues()[8], 0);
    EXPECT_EQ(d.symbolValues()[9], 14);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(d.symbolValues()[static_cast<std::size_t>(i)], 16);  // same bin
    EXPECT_EQ(out.primaryCount + out.secondaryCount, 0);

    // Bin difference -> symbol value: a quarter, rounded half up, less the offset of 2, modulo 18.
    const std::pair<double, int> steps[] = {{8, 0}, {-8, 14}, {0, 16}, {2, 17}, {-2, 16}, {6, 0},
                                            {-6, 15}, {10, 1}, {68, 15}, {-70, 17}, {72, 16}};
    for (const auto& [diff, value] : steps) {
        RxDecoder fresh;
        fresh.decode(std::vector<double>(8, 75), 50, 15);
        fresh.decode(std::vector<double>{75, 75 + diff, 75 + diff, 75 + diff, 75 + diff, 75 + diff, 75 + diff, 75 + diff}, 50, 15);
        EXPECT_EQ(fresh.symbolValues()[8], value) << "bin difference " << diff;
    }
    RxDecoder ties;  // peaks are rounded to whole bins, ties to even: 40.5 -> 40, 49.5 -> 50
    ties.decode(std::vector<double>{40.5, 49.5, 49.5, 49.5, 49.5, 49.5, 49.5, 49.5}, 50, 15);
    EXPECT_EQ(ties.symbolValues()[8], 1);
}

TEST(RxDecode, SplitsTheNibbleStreamIntoCharacters) {
    EXPECT_EQ(hear({1, 0, 8, 3, 5, 2}).primary, "esoi");  // e "1", s "08", o "3", i "5"
    EXPECT_EQ(hear({1, 15, 9, 4, 0}).primary, "a");        // character 0 ("1F9") shows nothing
    EXPECT_EQ(hear({0, 16, 16, 5, 0}).primary, "i");        // a lost tone drops only its character
}

TEST(RxDecode, NoCharacterLostOrDoubledAtBlockBoundaries) {
    std::string text = "CQ CQ de G4ABC/P: Hello, World! 73 ~{}\r\n";
    for (int c = 32; c < 128; ++c) text += static_cast<char>(c);
    for (const auto& p : {defaultProfile(), kProfiles[0]}) {
        const int n = symbolsPerBlock(p);
        for (int lead = 0; lead < n; ++lead) {  // every alignment of the stream against the blocks
            std::vector<int> symbols(static_cast<std::size_t>(lead), 16);
            const auto codes = codeNibbles(text + "  ");
            symbols.insert(symbols.end(), codes.begin(), codes.end());
            EXPECT_EQ(hear(symbols, p).primary, text + " ") << p.menuCaption << " lead " << lead;
        }
    }
}

TEST(RxDecode, SecondaryCodesGiveOnlySecondaryText) {
    std::string all, expected;
    for (int c = 0; c < 256; ++c) {
        all += static_cast<char>(c);
        if (c >= 32 && c <= 122) expected += static_cast<char>(c);
    }
    for (const auto& p : {defaultProfile(), kProfiles[0]}) {
        const Heard h = hear(codeNibbles(all, true), p);
        EXPECT_EQ(h.primary, "");
        EXPECT_EQ(h.secondary, expected);
        EXPECT_EQ(hear(codeNibbles("G4ABC G4ABC ", true), p).secondary, "G4ABC G4ABC ");
    }
}

TEST(RxDecode, OnlyLineBreaksAndPrintableCharactersReachTheScreen) {
    std::string all, expected;
    for (int c = 0; c < 256; ++c) {
        all += static_cast<char>(c);
        if (c == 10 || c == 13 || (c >= 32 && c <= 127)) expected += static_cast<char>(c);
    }
    const Heard h = hear(codeNibbles(all + "  "));
    EXPECT_EQ(h.primary, expected + " ");
    EXPECT_EQ(h.secondary, "");
}

TEST(RxDecode, SquelchGatesDecodingButKeepsTheToneHistory) {
    const auto passes = passesFor(codeNibbles("eeeeeeeeeeeeeeee"), 8);
    ASSERT_GE(passes.size(), 3u);
    RxDecoder open, gated;
    for (std::size_t k = 0; k < passes.size(); ++k) {
        const DecodedChars a = open.decode(passes[k], 1, 1);
        const DecodedChars b = gated.decode(passes[k], k == 1 ? 0 : 1, 1);  // level 1: reading 0 shuts, 1 opens
        EXPECT_TRUE(a.squelchOpen);
        EXPECT_EQ(b.squelchOpen, k != 1);
        if (k == 1) {
            EXPECT_GT(a.primaryCount, 0);
            EXPECT_EQ(b.primaryCount, 0);
        } else {
            EXPECT_EQ(std::string(a.primaryText().begin(), a.primaryText().end()),
                      std::string(b.primaryText().begin(), b.primaryText().end()));
        }
        EXPECT_EQ(std::vector<int>(open.symbolValues().begin(), open.symbolValues().end()),
                  std::vector<int>(gated.symbolValues().begin(), gated.symbolValues().end()));
    }
}

TEST(RxDecode, ASpeedChangeStartsANewToneHistory) {
    // After text at one speed, the other speed's first pass reads as a fresh decoder reads it.
    for (const auto& [from, to] : {std::pair{defaultProfile(), kProfiles[0]}, std::pair{kProfiles[0], kProfiles[5]}}) {
        RxDecoder d, fresh;
        d.setProfile(from);
        for (const auto& pass : passesFor(codeNibbles("CQ CQ de G4ABC"), symbolsPerBlock(from))) d.decode(pass, 50, 15);
        d.setProfile(to);
        fresh.setProfile(to);
        const std::vector<double> pass(static_cast<std::size_t>(symbolsPerBlock(to)), 20.0);
        d.decode(pass, 50, 15);
        fresh.decode(pass, 50, 15);
        EXPECT_EQ(std::vector<int>(d.symbolValues().begin(), d.symbolValues().end()),
                  std::vector<int>(fresh.symbolValues().begin(), fresh.symbolValues().end()))
            << from.menuCaption << " -> " << to.menuCaption;
    }
}

TEST(BusyLock, SendIsRefusedOnlyAboveTheSquelchLevel) {
    EXPECT_TRUE(channelBusy(16, 15));
    EXPECT_FALSE(channelBusy(15, 15));
    EXPECT_FALSE(channelBusy(0, 1));
}

TEST(SquelchLevel, EntryIsRoundedDownAndAtLeastOne) {
    EXPECT_EQ(squelchLevelFromEntry(15.9), 15);
    EXPECT_EQ(squelchLevelFromEntry(1.0), 1);
    EXPECT_EQ(squelchLevelFromEntry(0.5), 1);
    EXPECT_EQ(squelchLevelFromEntry(-3.7), 1);
    // Whatever the operator types, the level stays a usable positive number.
    for (double odd : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 1e300})
        EXPECT_GE(squelchLevelFromEntry(odd), 1) << odd;
}
