// vantrel-channel: puts transmissions from `vantrel-modem encode` on the air, one after the
// other, as one receiver would record them: each station with its own level, frequency
// offset, clock error and fading, all under one band noise that runs from the first sample
// to the last. Makes the sample recording (scripts/make-sample); deterministic for its seeds.
//
//   vantrel-channel --rate HZ -o OUT.wav [--noise-rms R] [--seed N]
//                   [--gap SECONDS | --station FILE.wav [--snr DB] [--offset HZ] [--ppm P]
//                    [--fade-depth DB] [--fade-period SECONDS]]...
// --gap adds band noise alone; --station adds one transmission, and the options after it
// (up to the next --gap or --station) describe its path.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "cli/audio_file.h"
#include "tests/support/channel.h"

namespace {

using vantrel::testsupport::ChannelSettings;

struct Segment {
    std::string file;  // empty: band noise alone
    double gapSeconds = 0;
    double snrDb = 0;
    ChannelSettings path;
};

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "vantrel-channel: %s\n", why.c_str());
    std::exit(2);
}

double number(std::string_view option, const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v)) usage(std::string(option) + " needs a number");
    return v;
}

std::vector<double> readStation(const std::string& file, int rate) {
    vantrel::cli::AudioInput in;
    if (!in.open(file, rate)) usage(in.error());
    std::vector<double> x;
    for (auto chunk = in.next(); !chunk.empty(); chunk = in.next()) x.insert(x.end(), chunk.begin(), chunk.end());
    return x;
}

// Mean power where the transmission is on the air (its silent lead-in left out).
double onAirPower(const std::vector<double>& x) {
    double sum = 0;
    std::size_t n = 0;
    for (double v : x) {
        if (n == 0 && std::abs(v) < 1.0) continue;
        sum += v * v;
        ++n;
    }
    return n ? sum / static_cast<double>(n) : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    int rate = 0;
    double noiseRms = 1200;
    std::uint64_t seed = 1;
    std::string output;
    std::vector<Segment> segments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage(std::string(a) + " needs a value");
            return argv[++i];
        };
        const auto station = [&]() -> Segment& {
            if (segments.empty() || segments.back().file.empty()) usage(std::string(a) + " belongs after --station");
            return segments.back();
        };
        if (a == "--rate") rate = static_cast<int>(number(a, value()));
        else if (a == "-o") output = value();
        else if (a == "--noise-rms") noiseRms = number(a, value());
        else if (a == "--seed") seed = static_cast<std::uint64_t>(number(a, value()));
        else if (a == "--gap") segments.push_back({{}, number(a, value()), 0, {}});
        else if (a == "--station") segments.push_back({value(), 0, 0, {}});
        else if (a == "--snr") station().snrDb = number(a, value());
        else if (a == "--offset") station().path.frequencyOffsetHz = number(a, value());
        else if (a == "--ppm") station().path.clockPpm = number(a, value());
        else if (a == "--fade-depth") station().path.fadeDepthDb = number(a, value());
        else if (a == "--fade-period") station().path.fadePeriodS = number(a, value());
        else usage("unknown argument '" + std::string(a) + "'");
    }
    if (rate < 1000 || output.empty()) usage("needs --rate and -o (see the comment at the top of channel_tool.cpp)");

    const double sigma = noiseRms;
    std::vector<double> air;
    for (std::size_t k = 0; k < segments.size(); ++k) {
        const Segment& s = segments[k];
        if (s.file.empty()) {
            air.insert(air.end(), static_cast<std::size_t>(s.gapSeconds * rate), 0.0);
            continue;
        }
        std::vector<double> x = readStation(s.file, rate);
        // Level for the wanted SNR against the common noise in 2500 Hz, before fading.
        const double wanted = vantrel::testsupport::noiseSigma(1.0, s.snrDb, rate);  // sigma for unit power
        const double power = onAirPower(x);
        if (power > 0) {
            const double gain = sigma / wanted / std::sqrt(power);
            for (double& v : x) v *= gain;
        }
        ChannelSettings path = s.path;
        path.seed = seed + k;
        path.maxRms = 1e9;
        std::vector<std::int16_t> clean(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) clean[i] = static_cast<std::int16_t>(std::lrint(std::clamp(x[i], -32768.0, 32767.0)));
        const std::vector<std::int16_t> heard = vantrel::testsupport::applyChannel(clean, rate, path);
        air.insert(air.end(), heard.begin(), heard.end());
    }

    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0.0, sigma);
    std::vector<std::int16_t> out(air.size());
    for (std::size_t i = 0; i < air.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(air[i] + gauss(rng), -32768.0, 32767.0)));

    vantrel::cli::WavOutput wav;
    if (!wav.open(output, rate) || !wav.write(out) || !wav.close()) {
        std::fprintf(stderr, "vantrel-channel: %s: %s\n", output.c_str(), wav.error().c_str());
        return 1;
    }
    return 0;
}
