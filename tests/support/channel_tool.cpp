// vantrel-channel: puts transmissions from `vantrel-modem encode` on the air, one after the
// other, as one receiver would record them: each station with its own level, frequency
// offset, clock error and fading, all under one band noise that runs from the first sample
// to the last. Makes the sample recording (scripts/make-sample); deterministic for its seeds.
//
//   vantrel-channel --rate HZ -o OUT.wav [--noise-rms R] [--seed N]
//                   [--gap SECONDS | --station FILE.wav [--snr DB] [--offset HZ] [--ppm P]
//                    [--fade-depth DB] [--fade-period SECONDS] [--carrier HZ:DB[:DRIFT]]...
//                    [--crashes RATE:DB] [--hum HZ:DB] [--phase-jumps SAMPLES]]...
// --gap adds band noise alone; --station adds one transmission, and the options after it
// (up to the next --gap or --station) describe its path: carriers (drifting DRIFT Hz a second),
// static crashes (RATE a second, peaks DB over the station), mains hum (HZ and harmonics up to
// 1 kHz, DB over the station) while it is on the air, and its phase jumping every SAMPLES.

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

// "A:B[:C]" as numbers, from `least` to `most` of them.
std::vector<double> numbers(std::string_view option, const char* text, std::size_t least, std::size_t most) {
    std::vector<double> out;
    std::string_view rest = text;
    for (;;) {
        const std::size_t colon = rest.find(':');
        const std::string item(rest.substr(0, colon));
        out.push_back(number(option, item.c_str()));
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    if (out.size() < least || out.size() > most) usage(std::string(option) + " has the wrong number of values");
    return out;
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

struct Arguments {
    int rate = 0;
    double noiseRms = 1200;
    std::uint64_t seed = 1;
    std::string output;
    std::vector<Segment> segments;
};

Arguments parseArguments(int argc, char** argv) {
    Arguments args;
    int& rate = args.rate;
    std::vector<Segment>& segments = args.segments;
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
        else if (a == "-o") args.output = value();
        else if (a == "--noise-rms") args.noiseRms = number(a, value());
        else if (a == "--seed") args.seed = static_cast<std::uint64_t>(number(a, value()));
        else if (a == "--gap") segments.push_back({{}, number(a, value()), 0, {}});
        else if (a == "--station") segments.push_back({value(), 0, 0, {}});
        else if (a == "--snr") station().snrDb = number(a, value());
        else if (a == "--offset") station().path.frequencyOffsetHz = number(a, value());
        else if (a == "--ppm") station().path.clockPpm = number(a, value());
        else if (a == "--fade-depth") station().path.fadeDepthDb = number(a, value());
        else if (a == "--fade-period") station().path.fadePeriodS = number(a, value());
        else if (a == "--phase-jumps") station().path.phaseJumpSamples = static_cast<int>(number(a, value()));
        else if (a == "--carrier") {
            const auto f = numbers(a, value(), 2, 3);
            station().path.carriers.push_back({f[0], f[1], false, 20, f.size() > 2 ? f[2] : 0.0});
        } else if (a == "--crashes") {
            const auto f = numbers(a, value(), 2, 2);
            station().path.crashes = vantrel::testsupport::Crashes{f[0], f[1]};
        } else if (a == "--hum") {
            const auto f = numbers(a, value(), 2, 2);
            station().path.hum = vantrel::testsupport::Hum{f[0], 1000, f[1]};
        } else usage("unknown argument '" + std::string(a) + "'");
    }
    if (rate < 1000 || args.output.empty()) usage("needs --rate and -o (see the comment at the top of channel_tool.cpp)");
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments args = parseArguments(argc, argv);
    const int rate = args.rate;
    const double noiseRms = args.noiseRms;
    const std::uint64_t seed = args.seed;
    const std::string& output = args.output;
    const std::vector<Segment>& segments = args.segments;

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
    // Loud hum or crashes over a station set loud against the noise go past 16 bits.
    const auto clipped = std::count_if(out.begin(), out.end(), [](std::int16_t v) { return v == 32767 || v == -32768; });
    if (clipped > 0) std::fprintf(stderr, "vantrel-channel: %ld samples at full scale: lower --noise-rms\n", static_cast<long>(clipped));

    vantrel::cli::WavOutput wav;
    if (!wav.open(output, rate) || !wav.write(out) || !wav.close()) {
        std::fprintf(stderr, "vantrel-channel: %s: %s\n", output.c_str(), wav.error().c_str());
        return 1;
    }
    return 0;
}
