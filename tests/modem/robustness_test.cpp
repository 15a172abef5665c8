// Hostile audio, odd settings and odd text must never crash the modem nor push its state out of
// range. These run under AddressSanitizer and UndefinedBehaviorSanitizer in CI.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "modem/receiver.h"
#include "modem/tx_modulator.h"

using namespace vantrel::modem;

namespace {

std::vector<std::vector<std::int16_t>> hostileBlocks() {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> full(-32768, 32767);
    std::vector<std::int16_t> random(kBlockLength), square(kBlockLength);
    for (auto& s : random) s = static_cast<std::int16_t>(full(rng));
    for (std::size_t i = 0; i < square.size(); ++i) square[i] = (i / 3) % 2 ? 32767 : -32768;  // clipped
    return {random,
            std::vector<std::int16_t>(kBlockLength, 0),
            square,
            std::vector<std::int16_t>(kBlockLength, -32768),
            std::vector<std::int16_t>(kBlockLength, 12345),  // a constant offset
            std::vector<std::int16_t>(100, 3000),            // short blocks
            {},
            std::vector<std::int16_t>(kBlockLength + 500, -7)};  // a long one
}

std::vector<RxSettings> oddSettings() {
    std::vector<RxSettings> all(10);
    all[1].captureTop = 7;
    all[2].captureTop = 4;
    all[3].captureTop = -50;
    all[4].captureTop = 1000;
    all[5].tuningFrequency = 0;
    all[6].tuningFrequency = 2500;
    all[7].tuningFrequency = -300;
    all[8].tuningFrequency = 30000;
    all[8].squelchAttack = 3;
    all[9].sensitive = true;
    all[9].squelchAttack = 0;
    return all;
}

void expectSaneState(const Receiver& r, const DecodedChars& out) {
    const RxAnalyzer& a = r.analyzer();
    ASSERT_LE(std::abs(a.timingOffset()), 256 * a.profile().spacingFactor - 1);
    ASSERT_TRUE(a.timingPhase() >= 0 && a.timingPhase() <= 15);
    for (double peak : a.slotPeaks()) ASSERT_TRUE(std::isfinite(peak) && peak >= 0 && peak < kSymbolBins) << peak;
    for (float m : a.symbolSpectra()) ASSERT_TRUE(std::isfinite(m) && m >= 0);
    for (double v : a.timingProfile()) ASSERT_TRUE(std::isfinite(v));
    ASSERT_LT(std::abs(a.snrRaw()), 1000);
    ASSERT_LT(std::abs(a.snrSmoothed()), 1000);
    ASSERT_TRUE(out.primaryCount >= 0 && out.primaryCount <= a.symbolCount());
    ASSERT_TRUE(out.secondaryCount >= 0 && out.secondaryCount <= a.symbolCount());
    for (std::uint8_t c : out.primaryText()) ASSERT_TRUE(c == 10 || c == 13 || (c >= 32 && c <= 127)) << int{c};
    for (std::uint8_t c : out.secondaryText()) ASSERT_TRUE(c >= 32 && c <= 122) << int{c};
}

}  // namespace

TEST(ModemRobustness, ReceiverSurvivesHostileAudioAndOddSettings) {
    const auto blocks = hostileBlocks();
    const auto settings = oddSettings();
    Receiver r;
    int pass = 0;
    for (const auto& s : settings)
        for (const auto& b : blocks) {
            r.setProfile(kProfiles[static_cast<std::size_t>(pass++ % 6)]);  // speed changes mid-stream too
            SCOPED_TRACE("pass " + std::to_string(pass));
            const DecodedChars out = r.processBlock(b, s, 1);
            expectSaneState(r, out);
        }
    // A clean tone afterwards is still found: no state was poisoned.
    r.setProfile(defaultProfile());
    std::vector<std::int16_t> tone(kBlockLength);
    for (int pass2 = 0; pass2 < 4; ++pass2) {
        for (int i = 0; i < kBlockLength; ++i)
            tone[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::lround(10000 * std::sin(6.283185307179586 * 1100.0 * (pass2 * kBlockLength + i) / 11025)));
        r.processBlock(tone, RxSettings{}, 15);
    }
    for (double peak : r.analyzer().slotPeaks()) EXPECT_EQ(peak, 32);
}

TEST(ModemRobustness, TransmitterSurvivesOddTextTuningAndSpeedChanges) {
    TxModulator tx;
    int ends = 0;
    tx.setEndOfTransmissionHandler([&] {
        ++ends;
        tx.stop();
    });
    std::vector<std::int16_t> buf(kBlockLength);
    auto renderChecked = [&] {
        tx.renderTxBlock(buf);
        for (std::int16_t s : buf) ASSERT_LE(std::abs(s), kTxAmplitude);
        ASSERT_TRUE(tx.prevTone() >= 0 && tx.prevTone() < kToneCount);
    };

    tx.setIdleText("");  // no callsign at all: idle blocks still render
    for (int i = 0; i < 3; ++i) renderChecked();

    std::string everyByte;
    for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
    tx.setIdleText("G4ABC");
    tx.start(everyByte + everyByte, "");
    const int tunings[] = {-500, 0, 2500, 10000};
    for (int b = 0; b < 400 && ends == 0; ++b) {
        tx.setProfile(kProfiles[static_cast<std::size_t>(b % 6)]);
        tx.setTuningFrequency(tunings[b % 4]);
        renderChecked();
    }
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(tx.transmitting());
}
