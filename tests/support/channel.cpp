#include "channel.h"

#include <samplerate.h>

#include <algorithm>
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

}  // namespace

double noiseSigma(double signalPower, double snrDb, int sampleRate) {
    const double snr = std::pow(10.0, snrDb / 10.0);
    return std::sqrt(signalPower / snr * (sampleRate / 2.0) / 2500.0);
}

std::vector<double> shiftFrequency(std::span<const double> x, double hz, int sampleRate) {
    if (x.empty() || hz == 0) return {x.begin(), x.end()};
    // Zero padding keeps the circular wrap of the analytic filter away from the signal.
    std::size_t n = 1;
    while (n < x.size() + 4096) n <<= 1;
    std::vector<Complex> a(n);
    for (std::size_t i = 0; i < x.size(); ++i) a[i] = x[i];
    fft(a, -1);
    // Analytic signal: positive frequencies doubled, negative ones removed.
    for (std::size_t k = 1; k < n / 2; ++k) a[k] *= 2.0;
    for (std::size_t k = n / 2 + 1; k < n; ++k) a[k] = 0;
    fft(a, +1);
    std::vector<double> y(x.size());
    const double step = 2 * std::numbers::pi * hz / sampleRate;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const Complex z = a[i] / static_cast<double>(n);
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

std::vector<std::int16_t> applyChannel(std::span<const std::int16_t> signal, int sampleRate,
                                       const ChannelSettings& settings) {
    std::vector<double> x(signal.begin(), signal.end());
    if (settings.clockPpm != 0) x = resample(x, 1.0 + settings.clockPpm * 1e-6);
    if (settings.frequencyOffsetHz != 0) x = shiftFrequency(x, settings.frequencyOffsetHz, sampleRate);
    applyFading(x, sampleRate, settings.fadeDepthDb, settings.fadePeriodS, settings.seed);
    x.insert(x.begin(), static_cast<std::size_t>(std::max(0, settings.leadInSamples)), 0.0);

    if (settings.snrDb) {
        // Power of the signal where it is on the air, not of the silence around it.
        std::size_t first = x.size(), last = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (std::abs(x[i]) > 1.0) {
                if (first == x.size()) first = i;
                last = i;
            }
        }
        double power = 0;
        if (first <= last && first < x.size()) {
            for (std::size_t i = first; i <= last; ++i) power += x[i] * x[i];
            power /= static_cast<double>(last - first + 1);
        }
        const double sigma = noiseSigma(power, *settings.snrDb, sampleRate);
        const double rms = std::sqrt(power + sigma * sigma);
        const double gain = rms > settings.maxRms ? settings.maxRms / rms : 1.0;
        std::mt19937_64 rng(settings.seed);
        std::normal_distribution<double> gauss(0.0, 1.0);
        for (double& v : x) v = gain * (v + sigma * gauss(rng));
    }

    std::vector<std::int16_t> out(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<std::int16_t>(std::lrint(std::clamp(x[i], -32768.0, 32767.0)));
    return out;
}

}  // namespace vantrel::testsupport
