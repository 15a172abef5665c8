// vantrel-band: several stations on the air at once, as one receiver would record a busy band:
// transmissions from `vantrel-modem encode`, each starting at its own time with its own level,
// frequency offset, clock error and fading, all under one band noise from the first sample to
// the last. Makes the busy-band sample (scripts/make-sample) and the signal browser's test
// recordings; deterministic for its seed.
//
//   vantrel-band --rate HZ -o OUT.wav [--seconds S] [--noise-rms R] [--seed N]
//                [--station FILE.wav --at SECONDS [--snr DB] [--offset HZ] [--ppm P]
//                 [--fade-depth DB] [--fade-period SECONDS]]...
// --seconds sets the length (default: the last transmission's end plus 2 s); the options after
// --station (up to the next --station) describe its path.

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

struct Station {
    std::string file;
    double at = 0;
    double snrDb = 0;
    vantrel::testsupport::ChannelSettings path;
};

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr, "vantrel-band: %s\n", why.c_str());
    std::exit(2);
}

double number(std::string_view option, const char* text) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(v)) usage(std::string(option) + " needs a number");
    return v;
}

// The station's transmission as heard, at the level its SNR asks for against noise of `sigma`.
std::vector<double> heard(const Station& s, int rate, double sigma, std::uint64_t seed) {
    vantrel::cli::AudioInput in;
    if (!in.open(s.file, rate)) usage(in.error());
    std::vector<double> x;
    for (auto chunk = in.next(); !chunk.empty(); chunk = in.next()) x.insert(x.end(), chunk.begin(), chunk.end());
    // Power where it is on the air, its silent lead-in left out.
    const auto first = std::find_if(x.begin(), x.end(), [](double v) { return std::abs(v) >= 1.0; });
    double power = 0;
    for (auto it = first; it != x.end(); ++it) power += *it * *it;
    if (first != x.end()) power /= static_cast<double>(x.end() - first);
    const double gain = power > 0 ? sigma / vantrel::testsupport::noiseSigma(1.0, s.snrDb, rate) / std::sqrt(power) : 0.0;
    std::vector<std::int16_t> clean(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) clean[i] = static_cast<std::int16_t>(std::lrint(std::clamp(x[i] * gain, -32768.0, 32767.0)));
    vantrel::testsupport::ChannelSettings path = s.path;
    path.seed = seed;
    path.maxRms = 1e9;
    const std::vector<std::int16_t> out = vantrel::testsupport::applyChannel(clean, rate, path);
    return {out.begin(), out.end()};
}

}  // namespace

int main(int argc, char** argv) {
    int rate = 0;
    double seconds = -1, noiseRms = 1200;
    std::uint64_t seed = 1;
    std::string output;
    std::vector<Station> stations;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage(std::string(a) + " needs a value");
            return argv[++i];
        };
        const auto station = [&]() -> Station& {
            if (stations.empty()) usage(std::string(a) + " belongs after --station");
            return stations.back();
        };
        if (a == "--rate") rate = static_cast<int>(number(a, value()));
        else if (a == "-o") output = value();
        else if (a == "--seconds") seconds = number(a, value());
        else if (a == "--noise-rms") noiseRms = number(a, value());
        else if (a == "--seed") seed = static_cast<std::uint64_t>(number(a, value()));
        else if (a == "--station") stations.push_back({value(), 0, 0, {}});
        else if (a == "--at") station().at = std::max(0.0, number(a, value()));
        else if (a == "--snr") station().snrDb = number(a, value());
        else if (a == "--offset") station().path.frequencyOffsetHz = number(a, value());
        else if (a == "--ppm") station().path.clockPpm = number(a, value());
        else if (a == "--fade-depth") station().path.fadeDepthDb = number(a, value());
        else if (a == "--fade-period") station().path.fadePeriodS = number(a, value());
        else usage("unknown argument '" + std::string(a) + "'");
    }
    if (rate < 1000 || output.empty()) usage("needs --rate and -o (see the comment at the top of band_tool.cpp)");

    std::vector<double> air;
    for (std::size_t k = 0; k < stations.size(); ++k) {
        const std::vector<double> x = heard(stations[k], rate, noiseRms, seed + 1 + k);
        const auto start = static_cast<std::size_t>(stations[k].at * rate);
        if (air.size() < start + x.size()) air.resize(start + x.size(), 0.0);
        for (std::size_t i = 0; i < x.size(); ++i) air[start + i] += x[i];
    }
    air.resize(seconds >= 0 ? static_cast<std::size_t>(seconds * rate) : air.size() + static_cast<std::size_t>(2 * rate), 0.0);

    std::mt19937_64 rng(seed);
    std::normal_distribution<double> gauss(0.0, noiseRms);
    std::vector<std::int16_t> out(air.size());
    for (std::size_t i = 0; i < air.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(air[i] + gauss(rng), -32768.0, 32767.0)));

    vantrel::cli::WavOutput wav;
    if (!wav.open(output, rate) || !wav.write(out) || !wav.close()) {
        std::fprintf(stderr, "vantrel-band: %s: %s\n", output.c_str(), wav.error().c_str());
        return 1;
    }
    return 0;
}
