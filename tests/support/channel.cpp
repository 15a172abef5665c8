#include "channel.h"

#include <samplerate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <stdexcept>

namespace vantrel::testsupport {
namespace {

using Complex = std::complex<double>;

// In-place radix-2 FFT; inverse when sign is +1 (unscaled).
void fft(std::vector<Complex>& a, int sign) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double ang = sign * 2 * std::numbers::pi / static_cast<double>(len);
        const Complex wl(std::cos(ang), std::sin(ang));
        for (std::size_t i = 0; i < n; i += len) {
            Complex w(1);
            for (std::size_t j = 0; j < len / 2; ++j) {
                const Complex u = a[i + j];
                const Complex v = a[i + j + len / 2] * w;
                a[i + j] = u + v;
                a[i + j + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

// Analytic signal of x: positive frequencies doubled, negative ones removed. Zero padding keeps
// the circular wrap of the filter away from the signal.
std::vector<Complex> analytic(std::span<const double> x) {
    std::size_t n = 1;
    while (n < x.size() + 4096) n <<= 1;
    std::vector<Complex> a(n);
    for (std::size_t i = 0; i < x.size(); ++i) a[i] = x[i];
    fft(a, -1);
    for (std::size_t k = 1; k < n / 2; ++k) a[k] *= 2.0;
    for (std::size_t k = n / 2 + 1; k < n; ++k) a[k] = 0;
    fft(a, +1);
    a.resize(x.size());
    for (Complex& z : a) z /= static_cast<double>(n);
    return a;
}

// One path's gain over time: a sum of sinusoids with Gaussian-distributed Doppler frequencies,
// mean power 1/2. Evaluated every few samples and interpolated, as the gain moves slowly.
std::vector<Complex> pathGain(std::size_t count, double spreadHz, int sampleRate, std::mt19937_64& rng) {
    constexpr int kRays = 24;
    constexpr std::size_t kStep = 32;
    std::normal_distribution<double> doppler(0.0, spreadHz / 2.0);
    std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
    std::array<double, kRays> f{}, p{};
    for (int r = 0; r < kRays; ++r) {
        f[static_cast<std::size_t>(r)] = doppler(rng);
        p[static_cast<std::size_t>(r)] = phase(rng);
    }
    const auto at = [&](std::size_t i) {
        Complex g;
        const double t = static_cast<double>(i) / sampleRate;
        for (int r = 0; r < kRays; ++r) {
            const double a = 2 * std::numbers::pi * f[static_cast<std::size_t>(r)] * t + p[static_cast<std::size_t>(r)];
            g += Complex(std::cos(a), std::sin(a));
        }
        return g / std::sqrt(2.0 * kRays);
    };
    std::vector<Complex> g(count);
    Complex g0 = at(0);
    for (std::size_t i = 0; i < count; i += kStep) {
        const Complex g1 = at(i + kStep);
        for (std::size_t j = 0; j < kStep && i + j < count; ++j)
            g[i + j] = g0 + (g1 - g0) * (static_cast<double>(j) / kStep);
        g0 = g1;
    }
    return g;
}

std::vector<double> applyTwoPathFading(std::span<const double> x, const Fading& fading, int sampleRate, std::mt19937_64& rng) {
    const std::vector<Complex> z = analytic(x);
    const auto delay = static_cast<std::size_t>(std::lround(fading.delayMs * 1e-3 * sampleRate));
    const std::vector<Complex> g1 = pathGain(x.size(), fading.spreadHz, sampleRate, rng);
    const std::vector<Complex> g2 = pathGain(x.size(), fading.spreadHz, sampleRate, rng);
    std::vector<double> y(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        Complex v = g1[i] * z[i];
        if (i >= delay) v += g2[i] * z[i - delay];
        y[i] = v.real();
    }
    return y;
}

// Dots and dashes of the characters a Morse station sends; anything else is a word space.
std::string_view morseCode(char c) {
    static constexpr std::array<std::string_view, 26> letters{
        ".-", "-...", "-.-.", "-..", ".", "..-.", "--.", "....", "..", ".---", "-.-", ".-..", "--",
        "-.", "---", ".--.", "--.-", ".-.", "...", "-", "..-", "...-", ".--", "-..-", "-.--", "--.."};
    static constexpr std::array<std::string_view, 10> digits{
        "-----", ".----", "..---", "...--", "....-", ".....", "-....", "--...", "---..", "----."};
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return letters[static_cast<std::size_t>(c - 'A')];
    if (c >= '0' && c <= '9') return digits[static_cast<std::size_t>(c - '0')];
    if (c == '/') return "-..-.";
    return {};
}

}  // namespace

std::vector<double> morseKeying(std::string_view text, double wpm, int sampleRate, std::size_t count) {
    // Key-down and key-up runs in dot units: dot 1, dash 3, gaps 1 / 3 / 7.
    std::vector<std::pair<bool, int>> runs;
    for (char c : text) {
        const std::string_view code = morseCode(c);
        if (code.empty()) {
            runs.emplace_back(false, 7);
            continue;
        }
        for (char e : code) {
            runs.emplace_back(true, e == '-' ? 3 : 1);
            runs.emplace_back(false, 1);
        }
        runs.back().second = 3;
    }
    runs.emplace_back(false, 7);
    std::vector<double> key(count, 0.0);
    const double unit = 1.2 / wpm * sampleRate;
    if (runs.empty() || unit <= 0) return key;
    const double edge = 0.005 * sampleRate;
    double t = 0;
    for (std::size_t r = 0; t < static_cast<double>(count); r = (r + 1) % runs.size()) {
        const double len = runs[r].second * unit;
        if (runs[r].first) {
            const auto from = static_cast<std::size_t>(t);
            for (std::size_t i = from; i < count && static_cast<double>(i) < t + len; ++i) {
                const double into = static_cast<double>(i) - t, left = t + len - static_cast<double>(i);
                const double e = std::min({1.0, into / edge, left / edge});
                key[i] = e >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * std::max(0.0, e));
            }
        }
        t += len;
    }
    return key;
}

double noiseSigma(double signalPower, double snrDb, int sampleRate) {
    const double snr = std::pow(10.0, snrDb / 10.0);
    return std::sqrt(signalPower / snr * (sampleRate / 2.0) / 2500.0);
}

std::vector<double> shiftFrequency(std::span<const double> x, double hz, int sampleRate) {
    if (x.empty() || hz == 0) return {x.begin(), x.end()};
    const std::vector<Complex> a = analytic(x);
    std::vector<double> y(x.size());
    const double step = 2 * std::numbers::pi * hz / sampleRate;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const Complex z = a[i];
        const double phase = std::fmod(step * static_cast<double>(i), 2 * std::numbers::pi);
        y[i] = (z * Complex(std::cos(phase), std::sin(phase))).real();
    }
    return y;
}

void applyFading(std::span<double> x, int sampleRate, double depthDb, double periodS, std::uint64_t seed) {
    if (depthDb <= 0 || periodS <= 0 || sampleRate <= 0) return;
    std::mt19937_64 rng(seed ^ 0x9e3779b97f4a7c15ULL);
    std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
    const double p1 = phase(rng), p2 = phase(rng);
    const double w1 = 2 * std::numbers::pi / (periodS * sampleRate);
    const double w2 = w1 / std::numbers::phi;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i);
        const double wander = 0.5 * (std::sin(w1 * t + p1) + std::sin(w2 * t + p2));  // -1..1
        x[i] *= std::pow(10.0, -depthDb * (1.0 - wander) / 40.0);
    }
}

std::vector<double> resample(std::span<const double> x, double ratio) {
    if (x.empty() || ratio == 1.0) return {x.begin(), x.end()};
    std::vector<float> in(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) in[i] = static_cast<float>(x[i] / 32768.0);
    std::vector<float> out(static_cast<std::size_t>(std::ceil(static_cast<double>(x.size()) * ratio)) + 256);
    SRC_DATA data{};
    data.data_in = in.data();
    data.input_frames = static_cast<long>(in.size());
    data.data_out = out.data();
    data.output_frames = static_cast<long>(out.size());
    data.src_ratio = ratio;
    if (const int err = src_simple(&data, SRC_SINC_MEDIUM_QUALITY, 1); err != 0)
        throw std::runtime_error(src_strerror(err));
    std::vector<double> y(static_cast<std::size_t>(data.output_frames_gen));
    for (std::size_t i = 0; i < y.size(); ++i) y[i] = out[i] * 32768.0;
    return y;
}

namespace {

// The transmitter's phase turned to a new random value every `every` samples from its first
// symbol (the sample before its first non-zero one), through the analytic signal.
void applyPhaseJumps(std::vector<double>& x, int every, std::mt19937_64& rng) {
    const auto first = std::find_if(x.begin(), x.end(), [](double v) { return v != 0.0; });
    if (every <= 0 || first == x.end()) return;
    const auto origin = static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, first - x.begin() - 1));
    const std::vector<Complex> z = analytic(x);
    std::uniform_real_distribution<double> turn(0.0, 2 * std::numbers::pi);
    Complex rotation(1.0);
    for (std::size_t i = origin; i < x.size(); ++i) {
        if (i > origin && (i - origin) % static_cast<std::size_t>(every) == 0) rotation = std::polar(1.0, turn(rng));
        x[i] = (z[i] * rotation).real();
    }
}

// Steady, drifting and keyed carriers; returns their mean power.
double addCarriers(std::vector<double>& x, const std::vector<Carrier>& carriers, double power, int sampleRate,
                   std::mt19937_64& rng) {
    double carrierPower = 0;
    std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
    for (const Carrier& c : carriers) {
        const double p = power * std::pow(10.0, c.relativeDb / 10.0);
        const double amplitude = std::sqrt(2.0 * p);
        const double start = phase(rng);
        std::vector<double> key;
        if (c.morse) key = morseKeying("CQ CQ DE K9XYZ K9XYZ PSE K TEST 5NN", c.morseWpm, sampleRate, x.size());
        // The phase in turns: the steady frequency's plus what the drift has added, kept small.
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            const double turns = std::fmod(c.hz * t, 1.0) + std::fmod(c.driftHzPerS * t * t / 2, 1.0);
            const double a = c.morse ? amplitude * key[i] : amplitude;
            x[i] += a * std::sin(2 * std::numbers::pi * turns + start);
        }
        carrierPower += c.morse ? p / 2 : p;
    }
    return carrierPower;
}

// Other stations of the mode, placed against the wanted transmission's first sample in x;
// returns their mean power while on the air.
double addNeighbours(std::vector<double>& x, const ChannelSettings& settings, double power, std::size_t wantedStart,
                     int sampleRate) {
    double total = 0;
    for (const Neighbour& n : settings.neighbours) {
        std::vector<double> y(n.transmission.begin(), n.transmission.end());
        if (settings.clockPpm != 0) y = resample(y, 1.0 + settings.clockPpm * 1e-6);
        y = shiftFrequency(y, settings.frequencyOffsetHz + n.offsetHz, sampleRate);
        double own = 0;
        std::size_t onAir = 0;
        for (double v : y)
            if (onAir > 0 || std::abs(v) > 1.0) own += v * v, ++onAir;
        if (onAir == 0) continue;
        const double p = power * std::pow(10.0, n.relativeDb / 10.0);
        const double gain = std::sqrt(p / (own / static_cast<double>(onAir)));
        const auto at = static_cast<long long>(wantedStart) + std::llround(n.startS * sampleRate);
        if (at + static_cast<long long>(y.size()) > static_cast<long long>(x.size()))
            x.resize(static_cast<std::size_t>(at + static_cast<long long>(y.size())), 0.0);
        for (std::size_t i = 0; i < y.size(); ++i)
            if (at + static_cast<long long>(i) >= 0) x[static_cast<std::size_t>(at + static_cast<long long>(i))] += gain * y[i];
        total += p;
    }
    return total;
}

// Mains hum; returns its power.
double addHum(std::vector<double>& x, const Hum& hum, double power, int sampleRate, std::mt19937_64& rng) {
    const int harmonics = static_cast<int>(std::floor(hum.topHz / hum.mainsHz + 1e-9));
    if (harmonics < 1 || hum.mainsHz <= 0) return 0;
    const double p = power * std::pow(10.0, hum.relativeDb / 10.0);
    const double amplitude = std::sqrt(2.0 * p / harmonics);
    std::uniform_real_distribution<double> phase(0.0, 2 * std::numbers::pi);
    for (int h = 1; h <= harmonics; ++h) {
        const double start = phase(rng);
        const double step = 2 * std::numbers::pi * h * hum.mainsHz / sampleRate;
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] += amplitude * std::sin(std::fmod(step * static_cast<double>(i), 2 * std::numbers::pi) + start);
    }
    return p;
}

void addCrashes(std::vector<double>& x, const Crashes& crashes, double power, int sampleRate, std::mt19937_64& rng) {
    if (crashes.perSecond <= 0) return;
    std::exponential_distribution<double> gap(crashes.perSecond);
    std::uniform_real_distribution<double> length(crashes.minMs, crashes.maxMs);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double peak = std::sqrt(power * std::pow(10.0, crashes.peakDb / 10.0));
    const double decay = std::log(std::pow(10.0, 30.0 / 20.0));  // 30 dB over the burst
    for (double t = gap(rng); t * sampleRate < static_cast<double>(x.size()); t += gap(rng)) {
        const auto from = static_cast<std::size_t>(t * sampleRate);
        const auto n = static_cast<std::size_t>(std::max(1.0, length(rng) * 1e-3 * sampleRate));
        for (std::size_t i = 0; i < n && from + i < x.size(); ++i)
            x[from + i] += peak * std::exp(-decay * static_cast<double>(i) / static_cast<double>(n)) * gauss(rng);
    }
}

}  // namespace

std::vector<std::int16_t> applyChannel(std::span<const std::int16_t> signal, int sampleRate,
                                       const ChannelSettings& settings) {
    std::vector<double> x(signal.begin(), signal.end());
    std::mt19937_64 rng(settings.seed);
    if (settings.phaseJumpSamples > 0) {
        std::mt19937_64 jumps(settings.seed ^ 0x5bd1e995ULL);
        applyPhaseJumps(x, settings.phaseJumpSamples, jumps);
    }
    if (settings.clockPpm != 0) x = resample(x, 1.0 + settings.clockPpm * 1e-6);
    if (settings.frequencyOffsetHz != 0) x = shiftFrequency(x, settings.frequencyOffsetHz, sampleRate);
    applyFading(x, sampleRate, settings.fadeDepthDb, settings.fadePeriodS, settings.seed);

    // Power of the signal where it is on the air, not of the silence around it; with two-path
    // fading, the mean power over the paths.
    double power = 0;
    std::size_t first = x.size(), last = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i]) > 1.0) {
            if (first == x.size()) first = i;
            last = i;
        }
    }
    if (first <= last && first < x.size()) {
        for (std::size_t i = first; i <= last; ++i) power += x[i] * x[i];
        power /= static_cast<double>(last - first + 1);
    }
    if (settings.fading && settings.fading->spreadHz > 0) x = applyTwoPathFading(x, *settings.fading, sampleRate, rng);
    const auto leadIn = static_cast<std::size_t>(std::max(0, settings.leadInSamples));
    x.insert(x.begin(), leadIn, 0.0);

    double otherPower = addCarriers(x, settings.carriers, power, sampleRate, rng);
    otherPower += addNeighbours(x, settings, power, leadIn + std::min(first, x.size()), sampleRate);
    if (settings.hum) otherPower += addHum(x, *settings.hum, power, sampleRate, rng);

    double gain = 1;
    if (settings.snrDb) {
        const double sigma = noiseSigma(power, *settings.snrDb, sampleRate);
        const double rms = std::sqrt(power + otherPower + sigma * sigma);
        gain = rms > settings.maxRms ? settings.maxRms / rms : 1.0;
        // Headroom for the crashes' peaks, as an operator turns the level down until they no
        // longer clip (four standard deviations of the loudest burst at full scale).
        if (settings.crashes) gain = std::min(gain, 32767.0 / (4 * std::sqrt(power * std::pow(10.0, settings.crashes->peakDb / 10.0))));
        std::normal_distribution<double> gauss(0.0, 1.0);
        std::mt19937_64 noiseRng(settings.seed);
        for (double& v : x) v = gain * (v + sigma * gauss(noiseRng));
    }
    if (settings.crashes) {
        std::mt19937_64 crashRng(settings.seed ^ 0x2545f4914f6cdd1dULL);
        addCrashes(x, *settings.crashes, power * gain * gain, sampleRate, crashRng);
    }

    std::vector<std::int16_t> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(x[i], -32768.0, 32767.0)));
    return out;
}

}  // namespace vantrel::testsupport
