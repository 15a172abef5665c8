// The receive analysis pass: tone position per slot, the signal-to-noise reading and its
// smoothing, and the symbol timing offset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "modem/rx_analyzer.h"
#include "modem/tx_modulator.h"

using namespace vantrel::modem;

namespace {

constexpr double kTwoPi = 6.283185307179586;

// A steady tone, continuous from block to block.
struct ToneSource {
    double hz;
    int rate;
    double amplitude = 10000;
    long n = 0;
    std::vector<std::int16_t> next() {
        std::vector<std::int16_t> b(kBlockLength);
        for (auto& s : b) s = static_cast<std::int16_t>(std::lround(amplitude * std::sin(kTwoPi * hz * static_cast<double>(n++) / rate)));
        return b;
    }
};

double binCentre(const ModeProfile& p, int tuning, int bin) { return tuning + bin * p.sampleRate / 4096.0; }

void expectAllPeaks(const RxAnalyzer& a, double peak) {
    for (std::size_t s = 0; s < a.slotPeaks().size(); ++s) EXPECT_EQ(a.slotPeaks()[s], peak) << "slot " << s;
}

}  // namespace

TEST(RxAnalysis, SteadyToneGivesTheSamePeakInEverySlot) {
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        std::vector<double> tones{binCentre(p, 1000, 37)};
        if (p.sampleRate == 11025) tones.push_back(1100.0);  // 100 Hz above F falls in bin 37 too
        for (double hz : tones) {
            RxAnalyzer a;
            a.setProfile(p);
            ToneSource src{hz, p.sampleRate};
            a.processBlock(src.next(), RxSettings{});
            for (int pass = 0; pass < 5; ++pass) {
                a.processBlock(src.next(), RxSettings{});
                expectAllPeaks(a, 32);
            }
            EXPECT_GT(a.snrRaw(), 20);
        }
    }
}

TEST(RxAnalysis, SilenceGivesZeroPeaksAndAZeroReading) {
    RxAnalyzer a;
    ToneSource src{1100.0, 11025};
    for (int pass = 0; pass < 3; ++pass) a.processBlock(src.next(), RxSettings{});
    ASSERT_GT(a.snrRaw(), 0);
    const std::vector<std::int16_t> silence(kBlockLength, 0);
    a.processBlock(silence, RxSettings{});
    a.processBlock(silence, RxSettings{});
    expectAllPeaks(a, 0);
    EXPECT_EQ(a.snrRaw(), 0);
    EXPECT_EQ(a.snrSmoothed(), 0);
}

TEST(RxAnalysis, CaptureTopBoundsTheToneSearch) {
    const auto& p = defaultProfile();
    auto run = [&](double hz, int captureTop) {
        RxAnalyzer a;
        ToneSource src{hz, p.sampleRate};
        RxSettings s;
        s.captureTop = captureTop;
        for (int pass = 0; pass < 3; ++pass) a.processBlock(src.next(), s);
        return a;
    };
    expectAllPeaks(run(binCentre(p, 1000, 6), 7), 1);
    const RxAnalyzer outside = run(binCentre(p, 1000, 37), 7);  // only bins 5..7 are looked at
    for (double peak : outside.slotPeaks()) EXPECT_TRUE(peak >= 0 && peak <= 2) << peak;
    for (int top : {4, 0, -20}) {
        SCOPED_TRACE(top);
        const RxAnalyzer none = run(binCentre(p, 1000, 37), top);
        expectAllPeaks(none, 0);
        EXPECT_EQ(none.snrRaw(), 0);
    }
}

TEST(RxAnalysis, TimingOffsetStaysWithinOneSymbolAtEverySpeed) {
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0, 3000);
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        const int limit = 256 * p.spacingFactor - 1;
        RxAnalyzer a;
        a.setProfile(p);
        TxModulator tx;
        tx.setProfile(p);
        tx.start(std::string(400, 'e'), "G4ABC");
        std::vector<std::int16_t> block(kBlockLength);
        for (int pass = 0; pass < 80; ++pass) {
            if (pass % 3 != 0) tx.renderTxBlock(block);  // a real signal in noise, or noise alone
            else std::fill(block.begin(), block.end(), std::int16_t{0});
            for (auto& s : block) s = static_cast<std::int16_t>(std::clamp(s / 2 + noise(rng), -32768.0, 32767.0));
            a.processBlock(block, RxSettings{});
            ASSERT_LE(std::abs(a.timingOffset()), limit) << "pass " << pass;
        }
    }
}

TEST(RxAnalysis, ModeChangeKeepsTheOffsetAndTheNextPassReducesIt) {
    // Silence chooses no phase, so each pass moves the windows back by 56 k decimated samples.
    RxAnalyzer a;
    a.setProfile(kProfiles[0]);
    const std::vector<std::int16_t> silence(kBlockLength, 0);
    for (int pass = 0; pass < 3; ++pass) a.processBlock(silence, RxSettings{});
    ASSERT_EQ(a.timingOffset(), -336);
    a.setProfile(defaultProfile());
    EXPECT_EQ(a.timingOffset(), -336);
    a.processBlock(silence, RxSettings{});
    EXPECT_EQ(a.timingOffset(), (-336 - 56) % 256);  // remainder keeps the sign of the dividend
}

TEST(RxAnalysis, SmoothingFollowsFallsAtOnceAndBlendsRises) {
    const int attacks[3] = {0, 1, 3};  // Fast, Med, Slow
    RxAnalyzer analyzers[3];
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 1500);
    ToneSource src{1100.0, 11025};
    const double levels[] = {0, 0, 150, 300, 600, 1200, 2400, 4800, 9600, 0, 0, 0, 2400, 0};
    int prevRaw = 0, rises = 0, falls = 0;
    int prevSmoothed[3] = {};
    for (double level : levels) {
        src.amplitude = level;
        auto block = src.next();
        for (auto& s : block) s = static_cast<std::int16_t>(s + noise(rng));
        const int raw = [&] {
            for (int i = 0; i < 3; ++i) {
                RxSettings s;
                s.squelchAttack = attacks[i];
                analyzers[i].processBlock(block, s);
            }
            return analyzers[0].snrRaw();
        }();
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE("attack " + std::to_string(attacks[i]) + " level " + std::to_string(level));
            EXPECT_EQ(analyzers[i].snrRaw(), raw);  // the attack only shapes the smoothed reading
            const int expected = raw <= prevRaw
                ? raw
                : static_cast<int>(std::nearbyint((attacks[i] * prevSmoothed[i] + prevRaw) / (1.0 + attacks[i])));
            EXPECT_EQ(analyzers[i].snrSmoothed(), expected);
            prevSmoothed[i] = analyzers[i].snrSmoothed();
        }
        (raw > prevRaw ? rises : falls) += 1;
        prevRaw = raw;
    }
    EXPECT_GE(rises, 4);
    EXPECT_GE(falls, 3);
}

namespace {

// A steady carrier in white noise, block after block; noise alone when carrierHz is 0.
std::vector<std::int16_t> carrierInNoise(ToneSource& carrier, std::mt19937& rng, double noiseSigma) {
    std::normal_distribution<double> noise(0, noiseSigma);
    std::vector<std::int16_t> b = carrier.next();
    for (auto& s : b) s = static_cast<std::int16_t>(std::clamp(s + noise(rng), -32768.0, 32767.0));
    return b;
}

}  // namespace

// Sensitive receive follows a steady carrier and takes it out of what the tone decision reads,
// so that the carrier stops being the strongest bin of every symbol; the standard receiver and
// the waterfall's spectra still see it.
TEST(CarrierRejection, SteadyCarrierIsFollowedAndTakenOut) {
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        const double hz = binCentre(p, 1000, 61) + 0.37 * p.sampleRate / 4096.0;  // between bins
        RxSettings sensitive;
        sensitive.sensitive = true;
        RxAnalyzer a;
        a.setProfile(p);
        ToneSource carrier{hz, p.sampleRate, 3000};
        std::mt19937 rng(11);
        int onCarrier = 0, slots = 0;
        for (int pass = 0; pass < 40; ++pass) {
            a.processBlock(carrierInNoise(carrier, rng, 2000), sensitive);
            if (pass < 30) continue;
            for (double peak : a.slotPeaks()) onCarrier += std::abs(peak + kCaptureBottom - 61) <= 1, ++slots;
            // The waterfall still shows the carrier (at 61.37 bins, noise decides 61 or 62).
            const auto rows = a.symbolSpectra();
            EXPECT_NEAR(std::max_element(rows.begin(), rows.begin() + kSymbolBins) - rows.begin(), 61, 1);
        }
        EXPECT_EQ(a.carrierRejection().followedCarriers(), 1);
        EXPECT_LT(onCarrier, slots / 4) << onCarrier << " of " << slots;
    }
}

// Band noise alone never looks like a carrier, so in white noise Sensitive receive decides
// exactly as it did without carrier rejection.
TEST(CarrierRejection, NoiseAloneRaisesNoCarrier) {
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        RxSettings sensitive;
        sensitive.sensitive = true;
        RxAnalyzer a;
        a.setProfile(p);
        ToneSource silence{1000, p.sampleRate, 0};
        std::mt19937 rng(5);
        for (int pass = 0; pass < 60; ++pass) {
            a.processBlock(carrierInNoise(silence, rng, 3000), sensitive);
            ASSERT_EQ(a.carrierRejection().followedCarriers(), 0) << "pass " << pass;
            for (int b = 0; b < kSymbolBins; ++b) ASSERT_FALSE(a.carrierRejection().keyedBin(b)) << "pass " << pass << " bin " << b;
        }
    }
}
