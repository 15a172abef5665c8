// Sensitive receive on a crowded, noisy band: another station of the mode beside the wanted one,
// static crashes, mains hum, a drifting carrier, a transmitter whose phase jumps, a text of two
// tones, input that holds no signal at all, and the top marker raised over a carrier.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cli/block_receiver.h"
#include "cli/transmission.h"
#include "modem/mode_profile.h"
#include "modem/receiver.h"
#include "tests/support/channel.h"
#include "tests/support/loopback_trial.h"
#include "tests/support/text_metrics.h"

namespace {

using namespace vantrel;
using modem::kBlockLength;
using modem::ModeProfile;
using modem::profileByBaud;

const std::string kText = "Good evening, the band is busy tonight but your signal comes through. Name here is Ann, QTH Kent. BK";

// 3 and 10 dB over the level where a detector that knows the timing and frequency makes 1%
// character errors.
double plus3(int baud) { return baud == 4 ? -13.3 : baud == 11 ? -8.8 : -5.9; }
double plus10(int baud) { return plus3(baud) + 7.0; }

std::vector<std::int16_t> neighbourTransmission(int baud) {
    cli::TransmitRequest request;
    request.text = "CQ CQ CQ de K9NEAR K9NEAR, the other station on the band, calling and calling. K";
    request.callsign = "K9NEAR";
    return cli::renderTransmission(*profileByBaud(baud), request);
}

struct BusyCase {
    const char* name;
    int baud;
    double maxCer;
    std::function<void(testsupport::TrialSetup&)> channel;
};

void PrintTo(const BusyCase& c, std::ostream* os) { *os << c.name << ", " << c.baud << " baud"; }

class BusyBand : public testing::TestWithParam<BusyCase> {};

// Mean character error rate over two seeds, each trial with a new lead-in (a new symbol phase).
TEST_P(BusyBand, SensitiveReceiveCopies) {
    const BusyCase& c = GetParam();
    const ModeProfile& profile = *profileByBaud(c.baud);
    double cer = 0;
    for (std::uint64_t seed = 1; seed <= 2; ++seed) {
        testsupport::TrialSetup setup;
        setup.text = kText;
        setup.channel.frequencyOffsetHz = 23.0;
        setup.channel.clockPpm = 60.0;
        setup.channel.seed = seed;
        setup.channel.leadInSamples = static_cast<int>(seed * 2777 % kBlockLength);
        setup.receive.squelchLevel = 1;
        setup.receive.rx.sensitive = true;
        c.channel(setup);
        const auto r = testsupport::runTrial(profile, setup);
        std::printf("[ BUSY     ] %s, %d baud, seed %d: %.1f%%\n", c.name, c.baud, static_cast<int>(seed), 100 * r.cer);
        cer += r.cer / 2;
    }
    EXPECT_LE(cer, c.maxCer);
}

std::vector<BusyCase> busyCases() {
    const auto neighbour = [](int baud, double hz, double db, double snr, double startS = -1.0) {
        return [=](testsupport::TrialSetup& s) {
            s.channel.snrDb = snr;
            s.channel.neighbours.push_back({neighbourTransmission(baud), hz, db, startS});
        };
    };
    const auto carrier = [](int baud, double driftHzPerS) {
        return [=](testsupport::TrialSetup& s) {
            const ModeProfile& p = *profileByBaud(baud);
            s.channel.snrDb = plus3(baud);
            // Starting at the band's fourth tone, drifting across it.
            s.channel.carriers.push_back({modem::txBaseFrequency(p, 1000) + 23.0 + 3.5 * p.sampleRate / 1024.0, 0.0, false, 20, driftHzPerS});
        };
    };
    return {
        {"a station 10 dB stronger 400 Hz above", 22, 0.03, neighbour(22, 400, 10, plus3(22))},
        {"a station 10 dB stronger 400 Hz below", 22, 0.07, neighbour(22, -400, 10, plus3(22))},
        // On the air well before ours: its end tones, seen alone, must not take our band's place.
        {"a station 10 dB stronger 400 Hz below, 3 s early", 22, 0.01, neighbour(22, -400, 10, plus3(22), -3.0)},
        {"a station 10 dB stronger 150 Hz above, bands overlapping", 4, 0.02, neighbour(4, 150, 10, plus3(4))},
        {"static crashes 50 dB over the signal", 11, 0.03,
         [](testsupport::TrialSetup& s) { s.channel.snrDb = plus10(11), s.channel.crashes = testsupport::Crashes{}; }},
        {"mains hum 40 dB over the signal", 11, 0.02,
         [](testsupport::TrialSetup& s) { s.channel.snrDb = plus3(11), s.channel.hum = testsupport::Hum{}; }},
        {"a carrier drifting 3 Hz/s across the band", 11, 0.03, carrier(11, 3.0)},
        {"phase jumps every 64 symbols", 22, 0.01,
         [](testsupport::TrialSetup& s) {
             s.channel.snrDb = plus3(22);
             s.channel.phaseJumpSamples = 64 * modem::symbolLength(*profileByBaud(22));
         }},
        {"a text of two tones, no noise", 11, 0.0, [](testsupport::TrialSetup& s) { s.text = std::string(200, 'r'); }},
    };
}

INSTANTIATE_TEST_SUITE_P(Conditions, BusyBand, testing::ValuesIn(busyCases()), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
    return name.substr(0, 40) + "_" + std::to_string(info.param.baud) + "baud";
});

// Full-scale DC and a square wave at the Nyquist frequency hold no signal: nothing is printed,
// even at squelch 1, at any speed.
TEST(BusyBand, InputWithoutSignalPrintsNothing) {
    for (const bool dc : {true, false}) {
        for (int baud : {4, 11, 22}) {
            std::vector<std::int16_t> audio(40 * kBlockLength);
            for (std::size_t i = 0; i < audio.size(); ++i) audio[i] = dc ? 32767 : (i % 2 ? 32767 : -32768);
            cli::ReceiveOptions options;
            options.squelchLevel = 1;
            options.rx.sensitive = true;
            const auto text = cli::decodeSamples(*profileByBaud(baud), options, audio).primary;
            EXPECT_EQ(text.find_first_not_of(' '), std::string::npos) << (dc ? "DC" : "Nyquist") << ", " << baud << " baud: " << text;
        }
    }
}

// The top marker raised mid-transmission over a steady carrier 10 dB above the signal, beside its
// band: the bins newly searched were learnt all along, and the copy goes on.
TEST(BusyBand, RaisingTheTopMarkerOverACarrierCostsNothing) {
    const int baud = 11;
    const ModeProfile& profile = *profileByBaud(baud);
    testsupport::ChannelSettings channel;
    channel.snrDb = plus3(baud);
    channel.frequencyOffsetHz = 23.0;
    channel.seed = 7;
    channel.carriers.push_back({modem::txBaseFrequency(profile, 1000) + 23.0 + 19.5 * profile.sampleRate / 1024.0, 10.0});
    cli::TransmitRequest request;
    request.text = kText;
    const auto heard = testsupport::applyChannel(cli::renderTransmission(profile, request), profile.sampleRate, channel);
    modem::Receiver rx;
    rx.setProfile(profile);
    modem::RxSettings settings;
    settings.sensitive = true;
    // Below the carrier, then over it from the fifth block on.
    const double carrierBin = (channel.carriers[0].hz - settings.tuningFrequency) * 4096 / profile.sampleRate;
    settings.captureTop = static_cast<int>(carrierBin) - 6;
    std::string text;
    for (std::size_t off = 0, pass = 0; off + kBlockLength <= heard.size(); off += kBlockLength, ++pass) {
        if (pass == 4) settings.captureTop = modem::kMaxCaptureTop;
        const auto d = rx.processBlock(std::span<const std::int16_t>(heard.data() + off, kBlockLength), settings, 1);
        text.append(d.primaryText().begin(), d.primaryText().end());
    }
    EXPECT_LE(testsupport::characterErrorRate(kText, text), 0.02) << text;
}

}  // namespace
