// Transmitter to receiver through the channel simulator: exact text on a clean channel at every
// speed and across the tuning range, and a bounded character error rate on a noisy channel with
// a frequency offset and a sample-clock error between the two stations.

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "modem/mode_profile.h"
#include "tests/support/loopback_trial.h"

namespace {

using vantrel::modem::ModeProfile;
using vantrel::modem::profileByBaud;
using vantrel::testsupport::runTrial;
using vantrel::testsupport::TrialSetup;

std::string allPrintable() {
    std::string s;
    for (int c = 32; c <= 126; ++c) s.push_back(static_cast<char>(c));
    return s;
}

struct CleanCase {
    int baud;
    int frequency;
};

void PrintTo(const CleanCase& c, std::ostream* os) { *os << c.baud << " baud at " << c.frequency << " Hz"; }

class CleanChannel : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanChannel, EveryPrintableCharacterComesBackExactly) {
    const auto [baud, frequency] = GetParam();
    const ModeProfile& profile = *profileByBaud(baud);
    TrialSetup setup;
    setup.text = allPrintable();
    setup.txFrequency = frequency;
    setup.receive.rx.tuningFrequency = frequency;
    // Symbols start somewhere else in the receiver's blocks for every case.
    setup.channel.leadInSamples = (baud * 1237 + frequency * 7) % vantrel::modem::kBlockLength;

    const auto r = runTrial(profile, setup);
    EXPECT_NE(r.received.find(": " + setup.text + " "), std::string::npos) << r.received;
    EXPECT_EQ(r.cer, 0.0);
}

std::vector<CleanCase> cleanCases() {
    std::vector<CleanCase> cases;
    for (int baud : {4, 5, 8, 11, 16, 22})
        for (int f : {300, 1000, 2000}) cases.push_back({baud, f});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, CleanChannel, testing::ValuesIn(cleanCases()),
                         [](const auto& info) {
                             return std::to_string(info.param.baud) + "baud_" + std::to_string(info.param.frequency) + "Hz";
                         });

// The frame's line end and the call sign survive too, and the receiver's idle decoding stays
// quiet while typed text is coming in.
TEST(CleanChannel, FrameArrivesAsTheReceivePaneShowsIt) {
    TrialSetup setup;
    setup.text = "Thanks for the call";
    setup.callsign = "DL2XYZ";
    const auto r = runTrial(*profileByBaud(11), setup);
    EXPECT_NE(r.received.find("\r\nDL2XYZ: Thanks for the call"), std::string::npos) << r.received;
    EXPECT_TRUE(r.callsignDecoded);
    EXPECT_TRUE(r.firstWordDecoded);
}

// Noisy channel. Bounds on the mean character error rate over three noise seeds, measured with
// the receiver as built and given some headroom; the measured values are in the comments.
struct NoisyCase {
    int baud;
    double snrDb;          // in 2500 Hz
    double offsetHz;       // receiver hears the tones this much higher
    double ppm;            // receiver's sample clock this much fast
    bool sensitive;
    double maxMeanCer;
};

void PrintTo(const NoisyCase& c, std::ostream* os) {
    *os << c.baud << " baud, " << c.snrDb << " dB, " << c.offsetHz << " Hz, " << c.ppm << " ppm, "
        << (c.sensitive ? "sensitive" : "standard") << ", bound " << c.maxMeanCer;
}

class NoisyChannel : public testing::TestWithParam<NoisyCase> {};

TEST_P(NoisyChannel, CharacterErrorRateStaysWithinBound) {
    const NoisyCase c = GetParam();
    const ModeProfile& profile = *profileByBaud(c.baud);
    double sum = 0;
    constexpr int kSeeds = 3;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        TrialSetup setup;
        setup.text = "Good morning and thanks for the call. Your signal is fine here, the name is Pat and "
                     "the QTH is near the coast. 73";
        setup.channel.snrDb = c.snrDb;
        setup.channel.frequencyOffsetHz = c.offsetHz;
        setup.channel.clockPpm = c.ppm;
        setup.channel.seed = static_cast<std::uint64_t>(seed * 7919 + c.baud);
        setup.channel.leadInSamples = (seed * 2731 + c.baud * 311) % vantrel::modem::kBlockLength;
        setup.receive.rx.sensitive = c.sensitive;
        const auto r = runTrial(profile, setup);
        sum += r.cer;
        RecordProperty("received_" + std::to_string(seed), r.received);
    }
    const double mean = sum / kSeeds;
    RecordProperty("mean_cer", std::to_string(mean));
    std::printf("[ CER      ] %d baud %+g dB %+g Hz %+g ppm %s: %.4f\n", c.baud, c.snrDb, c.offsetHz, c.ppm,
                c.sensitive ? "sensitive" : "standard", mean);
    EXPECT_LE(mean, c.maxMeanCer);
}

// Each bound is the measured mean (in the comment) plus headroom for small changes in rounding
// between builds. About 3 dB above the SNR where the squelch stops opening at each speed.
std::vector<NoisyCase> noisyCases() {
    return {
        {4, -6, +50, +100, false, 0.03},  // measured 0
        // 50 Hz is 25.6 bins at 4 baud: the lowest tone falls below the lowest searched bin, so
        // about one character in six is lost until the operator retunes.
        {4, -6, -50, -100, false, 0.25},  // measured 0.156
        {4, -6, +50, +100, true, 0.03},   // measured 0
        {4, -6, -50, -100, true, 0.25},   // measured 0.165
        {5, -6, +50, +100, false, 0.03},  // measured 0
        {5, -6, -50, -100, false, 0.03},  // measured 0
        {5, -6, +50, +100, true, 0.03},   // measured 0
        {5, -6, -50, -100, true, 0.03},   // measured 0
        {8, -6, +50, +100, false, 0.03},  // measured 0
        {8, -6, -50, -100, false, 0.03},  // measured 0
        {8, -6, +50, +100, true, 0.03},   // measured 0
        {8, -6, -50, -100, true, 0.03},   // measured 0
        {11, -3, +50, +100, false, 0.03},  // measured 0
        {11, -3, -50, -100, false, 0.03},  // measured 0
        {11, -3, +50, +100, true, 0.03},   // measured 0
        {11, -3, -50, -100, true, 0.03},   // measured 0
        {16, -3, +50, +100, false, 0.06},  // measured 0.012
        {16, -3, -50, -100, false, 0.08},  // measured 0.032
        {16, -3, +50, +100, true, 0.03},   // measured 0
        {16, -3, -50, -100, true, 0.03},   // measured 0
        {22, 0, +50, +100, false, 0.03},  // measured 0
        {22, 0, -50, -100, false, 0.03},  // measured 0
        {22, 0, +50, +100, true, 0.03},   // measured 0
        {22, 0, -50, -100, true, 0.03},   // measured 0
    };
}

INSTANTIATE_TEST_SUITE_P(AllSpeeds, NoisyChannel, testing::ValuesIn(noisyCases()), [](const auto& info) {
    const NoisyCase& c = info.param;
    return std::to_string(c.baud) + "baud_" + (c.offsetHz > 0 ? "up" : "down") + (c.sensitive ? "_sensitive" : "_standard");
});

}  // namespace
