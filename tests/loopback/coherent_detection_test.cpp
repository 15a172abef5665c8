// Sensitive receive decides each tone against the phase that the previous symbols predict for
// it. These trials check that the prediction holds on the transmitter's real signal (through
// an offset, a clock error and the timing steps that come with it), that a signal whose phase
// is not continuous falls back to magnitude decisions, and that the phase buys copy in noise.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "cli/block_receiver.h"
#include "cli/transmission.h"
#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "tests/support/channel.h"
#include "tests/support/text_metrics.h"

namespace {

using namespace vantrel;
using modem::kBlockLength;
using modem::ModeProfile;
using modem::profileByBaud;

const std::string kText =
    "Good evening, the band is open to the south tonight and your signal is steady here. "
    "The rig is a small transceiver and the antenna a wire in the garden. ";

std::vector<std::int16_t> rendered(const ModeProfile& profile, const std::string& text) {
    cli::TransmitRequest request;
    request.text = text;
    request.callsign = "N0CALL";
    return cli::renderTransmission(profile, request);
}

// The same tones with a random phase in every symbol: each symbol window of the transmission
// (whole symbols from its first sample) holds one tone on the 1024-sample grid; find it and
// give it a new phase.
std::vector<std::int16_t> scrambledPhases(const ModeProfile& profile, std::vector<std::int16_t> audio, std::uint64_t seed) {
    const int len = modem::symbolLength(profile);
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> phase(0.0, 2.0 * M_PI);
    for (std::size_t start = 0; start + static_cast<std::size_t>(len) <= audio.size(); start += static_cast<std::size_t>(len)) {
        int bestTone = -1;
        double best = 1.0e6;  // silence stays silence
        const int base = modem::txBaseToneIndex(profile, modem::kDefaultTuningFrequency);
        for (int m = base; m < base + modem::kToneCount; ++m) {
            std::complex<double> sum{};
            for (int n = 0; n < len; n += 1) sum += static_cast<double>(audio[start + static_cast<std::size_t>(n)]) * std::polar(1.0, -2.0 * M_PI * m * n / 1024.0);
            if (std::abs(sum) > best) {
                best = std::abs(sum);
                bestTone = m;
            }
        }
        if (bestTone < 0) continue;
        const double phi = phase(rng);
        for (int n = 0; n < len; ++n)
            audio[start + static_cast<std::size_t>(n)] = static_cast<std::int16_t>(
                std::lround(modem::kTxAmplitude * std::sin(2.0 * M_PI * bestTone * (start + n) / 1024.0 + phi)));
    }
    return audio;
}

struct PhaseTrace {
    std::string text;
    std::vector<double> reliability;  // after each pass
    std::vector<double> agreement;
};

PhaseTrace receive(const ModeProfile& profile, const std::vector<std::int16_t>& audio) {
    modem::Receiver rx;
    rx.setProfile(profile);
    modem::RxSettings settings;
    settings.sensitive = true;
    PhaseTrace trace;
    std::vector<std::int16_t> padded = audio;
    padded.resize((padded.size() / kBlockLength + 2) * kBlockLength, 0);
    for (std::size_t off = 0; off < padded.size(); off += kBlockLength) {
        const auto d = rx.processBlock(std::span<const std::int16_t>(padded.data() + off, kBlockLength), settings, 1);
        for (auto c : d.primaryText()) trace.text.push_back(static_cast<char>(c));
        trace.reliability.push_back(rx.analyzer().phaseReliability());
        trace.agreement.push_back(rx.analyzer().phaseAgreement());
    }
    return trace;
}

// While the text is on the air (the middle half of the passes): the mean of a per-pass figure.
double duringText(const std::vector<double>& perPass) {
    const std::size_t from = perPass.size() / 4, to = perPass.size() * 3 / 4;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += perPass[i];
    return sum / static_cast<double>(to - from);
}

// The phase bookkeeping (mixer restarts, window steps, timing shifts under a clock error) must
// match the transmitter exactly, or the prediction would drift away within a few symbols.
TEST(PhasePrediction, HoldsThroughOffsetClockErrorAndTimingSteps) {
    for (const auto& [baud, snr] : {std::pair{4, -13.0}, std::pair{11, -9.0}, std::pair{22, -6.0}}) {
        const ModeProfile& profile = *profileByBaud(baud);
        testsupport::ChannelSettings channel;
        channel.snrDb = snr;
        channel.frequencyOffsetHz = 23.0;
        channel.clockPpm = 150.0;  // the windows step several times during the text
        channel.leadInSamples = 3 * kBlockLength + 777;
        channel.seed = 7;
        const auto heard = testsupport::applyChannel(rendered(profile, kText), profile.sampleRate, channel);
        const PhaseTrace t = receive(profile, heard);
        EXPECT_LE(testsupport::characterErrorRate(kText, t.text), 0.0) << baud << " baud: " << t.text;
        EXPECT_GE(duringText(t.agreement), 0.9) << baud << " baud";
        EXPECT_GT(duringText(t.reliability), 0.05) << baud << " baud";
    }
}

// Without a continuous phase there is nothing to predict: the decisions are by magnitude, and
// the copy is as good as magnitude decisions give.
TEST(PhasePrediction, ScrambledPhaseFallsBackToMagnitudes) {
    for (int baud : {5, 16}) {
        const ModeProfile& profile = *profileByBaud(baud);
        testsupport::ChannelSettings channel;
        channel.snrDb = 0.0;
        channel.frequencyOffsetHz = 23.0;
        channel.clockPpm = 60.0;
        channel.leadInSamples = 2 * kBlockLength + 1234;
        channel.seed = 11;
        const auto audio = scrambledPhases(profile, rendered(profile, kText), 5);
        const PhaseTrace t = receive(profile, testsupport::applyChannel(audio, profile.sampleRate, channel));
        EXPECT_LE(testsupport::characterErrorRate(kText, t.text), 0.0) << baud << " baud: " << t.text;
        EXPECT_LE(*std::max_element(t.reliability.begin(), t.reliability.end()), 0.02) << baud << " baud";
        EXPECT_LE(duringText(t.agreement), 0.3) << baud << " baud";
    }
}

// In white noise a little above where magnitude decisions start to fail, the phase-continuous
// signal comes through with clearly fewer errors than the same tones with scrambled phases.
TEST(PhasePrediction, PhaseBuysCopyInNoise) {
    for (const auto& [baud, snr] : {std::pair{11, -12.5}, std::pair{22, -9.5}}) {
        const ModeProfile& profile = *profileByBaud(baud);
        const auto clean = rendered(profile, kText + kText);
        double continuous = 0, scrambled = 0;
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            testsupport::ChannelSettings channel;
            channel.snrDb = snr;
            channel.frequencyOffsetHz = 23.0;
            channel.clockPpm = 60.0;
            channel.leadInSamples = 2 * kBlockLength + static_cast<int>(seed) * 999;
            channel.seed = seed;
            const auto a = receive(profile, testsupport::applyChannel(clean, profile.sampleRate, channel));
            const auto b = receive(profile, testsupport::applyChannel(scrambledPhases(profile, clean, seed), profile.sampleRate, channel));
            continuous += testsupport::characterErrorRate(kText + kText, a.text);
            scrambled += testsupport::characterErrorRate(kText + kText, b.text);
        }
        std::printf("[ PHASE    ] %d baud at %+.1f dB: %.2f%% with the phase, %.2f%% scrambled\n", baud, snr,
                    100 * continuous / 3, 100 * scrambled / 3);
        EXPECT_LT(continuous, 0.6 * scrambled) << baud << " baud";
    }
}

}  // namespace
