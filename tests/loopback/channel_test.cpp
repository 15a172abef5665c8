// The channel simulator must do what the loopback bounds assume of it.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "tests/support/channel.h"

namespace {

using namespace vantrel::testsupport;

std::vector<std::int16_t> sine(double hz, int rate, std::size_t n, double amplitude = 25000) {
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<std::int16_t>(std::lrint(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    return s;
}

// Power at one frequency over a stretch of samples (Goertzel), normalised by its length.
template <typename T>
double toneLevel(const std::vector<T>& x, double hz, int rate, std::size_t from, std::size_t n) {
    const double w = 2 * std::numbers::pi * hz / rate;
    double re = 0, im = 0;
    for (std::size_t i = 0; i < n; ++i) {
        re += x[from + i] * std::cos(w * i);
        im -= x[from + i] * std::sin(w * i);
    }
    return std::hypot(re, im) / static_cast<double>(n);
}

TEST(Channel, FrequencyOffsetShiftsUpAndDownWithoutMirror) {
    const int rate = 11025;
    const auto tone = sine(1000, rate, 3 * rate);
    std::vector<double> x(tone.begin(), tone.end());
    for (double offset : {+50.0, -50.0}) {
        const auto y = shiftFrequency(x, offset, rate);
        ASSERT_EQ(y.size(), x.size());
        const std::size_t mid = static_cast<std::size_t>(rate), n = static_cast<std::size_t>(rate);
        const double wanted = toneLevel(y, 1000 + offset, rate, mid, n);
        EXPECT_NEAR(wanted, 12500, 250) << offset;  // amplitude / 2
        EXPECT_LT(toneLevel(y, 1000 - offset, rate, mid, n), 50) << offset;
        EXPECT_LT(toneLevel(y, 1000, rate, mid, n), 50) << offset;
    }
}

TEST(Channel, ClockErrorStretchesTheSignal) {
    const int rate = 8000;
    const auto tone = sine(1000, rate, 4 * rate);
    ChannelSettings s;
    s.clockPpm = 10000;  // large, so the stretch is measurable
    const auto y = applyChannel(tone, rate, s);
    EXPECT_NEAR(static_cast<double>(y.size()), tone.size() * 1.01, 4);
    const std::size_t mid = static_cast<std::size_t>(rate), n = static_cast<std::size_t>(2 * rate);
    EXPECT_GT(toneLevel(y, 1000 / 1.01, rate, mid, n), 11000);
    EXPECT_LT(toneLevel(y, 1000, rate, mid, n), 2000);
}

TEST(Channel, NoiseMatchesTheRequestedSnrAndIsReproducible) {
    const int rate = 16000;
    // Silence around the signal must not count in its power.
    std::vector<std::int16_t> signal(static_cast<std::size_t>(rate), 0);
    const auto tone = sine(1500, rate, 4 * static_cast<std::size_t>(rate));
    signal.insert(signal.end(), tone.begin(), tone.end());
    ChannelSettings s;
    s.snrDb = -3;
    s.seed = 42;
    s.leadInSamples = 1000;
    const auto y = applyChannel(signal, rate, s);
    ASSERT_EQ(y.size(), signal.size() + 1000);

    // The lead-in and the leading silence hold noise only.
    double noisePower = 0;
    const std::size_t quiet = 1000 + static_cast<std::size_t>(rate);
    for (std::size_t i = 0; i < quiet; ++i) noisePower += static_cast<double>(y[i]) * y[i];
    noisePower /= static_cast<double>(quiet);
    const double amplitude = 2 * toneLevel(y, 1500, rate, quiet, 3 * static_cast<std::size_t>(rate));
    const double noiseIn2500 = noisePower * 2500 / (rate / 2.0);
    EXPECT_NEAR(10 * std::log10(amplitude * amplitude / 2 / noiseIn2500), -3, 0.2);
    // Turned down to the receiver's level rather than clipped.
    EXPECT_NEAR(std::sqrt(noisePower + amplitude * amplitude / 2), s.maxRms, 0.02 * s.maxRms);

    EXPECT_EQ(applyChannel(signal, rate, s), y);
    s.seed = 43;
    EXPECT_NE(applyChannel(signal, rate, s), y);
}

TEST(Channel, StrongNoiseIsTurnedDownNotClipped) {
    const auto tone = sine(1000, 22050, 22050);
    ChannelSettings s;
    s.snrDb = -15;
    const auto y = applyChannel(tone, 22050, s);
    int extremes = 0;
    for (auto v : y) extremes += (v == 32767 || v == -32768);
    EXPECT_EQ(extremes, 0);
}

// 20 words per minute is a 60 ms dot; a dash is three dots, and the text repeats after a word space.
// The 5 ms edges lie inside the element, so each takes half of 40 samples from its area.
TEST(Channel, MorseKeyingTimesItsElements) {
    const int rate = 8000;
    const auto keyDown = [](const std::vector<double>& key, std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t i = from; i < to; ++i) sum += key[i];
        return sum;
    };
    const auto e = morseKeying("E", 20, rate, 20000);
    EXPECT_NEAR(keyDown(e, 0, 2000), 440, 2);
    // Dot, three dots of letter space, seven of word space: the next dot starts after 11 dots.
    EXPECT_NEAR(keyDown(e, 5280, 7000), 440, 2);
    EXPECT_EQ(e[2000], 0.0);
    const auto t = morseKeying("T", 20, rate, 4000);
    EXPECT_NEAR(keyDown(t, 0, 4000), 1400, 2);
    EXPECT_EQ(t[720], 1.0);
}

// A carrier at 0 dB has the signal's power; a keyed one has it while the key is down.
TEST(Channel, CarriersHaveTheRequestedPower) {
    const int rate = 11025;
    const auto tone = sine(1000, rate, 4 * static_cast<std::size_t>(rate), 10000);
    for (bool morse : {false, true}) {
        ChannelSettings s;
        s.carriers.push_back({1400, -6.0, morse, 20});
        const auto y = applyChannel(tone, rate, s);
        const std::size_t n = static_cast<std::size_t>(rate);
        EXPECT_NEAR(toneLevel(y, 1000, rate, 0, n), 5000, 100);
        if (!morse) {
            EXPECT_NEAR(toneLevel(y, 1400, rate, 0, n), 5000 * std::pow(10, -6.0 / 20), 100) << morse;
            continue;
        }
        // The Morse station's text begins with "C": a dash, then a dot's gap.
        const std::size_t dash = static_cast<std::size_t>(0.18 * rate);
        EXPECT_NEAR(toneLevel(y, 1400, rate, 100, dash - 200), 5000 * std::pow(10, -6.0 / 20), 150);
        EXPECT_LT(toneLevel(y, 1400, rate, dash + 60, static_cast<std::size_t>(0.06 * rate) - 120), 150);
    }
}

// Fading keeps the mean power but lets it come and go, the deeper the faster for poor paths.
TEST(Channel, FadingComesAndGoesAroundTheMeanPower) {
    const int rate = 8000;
    const auto tone = sine(1000, rate, 40 * static_cast<std::size_t>(rate), 10000);
    ChannelSettings s;
    s.fading = kFadingPoor;
    s.seed = 9;
    const auto y = applyChannel(tone, rate, s);
    double total = 0, lowest = 1e300;
    for (std::size_t sec = 0; sec < 40; ++sec) {
        double p = 0;
        for (std::size_t i = sec * rate; i < (sec + 1) * rate; ++i) p += static_cast<double>(y[i]) * y[i];
        p /= rate;
        total += p / 40;
        lowest = std::min(lowest, p);
    }
    const double mean = 10000.0 * 10000.0 / 2;
    EXPECT_GT(total, 0.5 * mean);
    EXPECT_LT(total, 1.5 * mean);
    EXPECT_LT(lowest, 0.2 * mean);
}

}  // namespace

namespace {

TEST(Channel, FadingWandersSlowlyBetweenFullLevelAndItsDepth) {
    const int rate = 1000;
    std::vector<double> x(static_cast<std::size_t>(600 * rate), 1.0);
    applyFading(x, rate, 12, 5, 3);
    double lowest = 1, highest = 0, biggestStep = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        lowest = std::min(lowest, x[i]);
        highest = std::max(highest, x[i]);
        if (i) biggestStep = std::max(biggestStep, std::abs(x[i] - x[i - 1]));
    }
    EXPECT_LE(highest, 1.0);
    EXPECT_GT(highest, std::pow(10.0, -1.0 / 20));   // comes back up to within 1 dB
    EXPECT_GE(lowest, std::pow(10.0, -12.0 / 20) - 1e-9);
    EXPECT_LT(lowest, std::pow(10.0, -10.0 / 20));   // goes down to within 2 dB of its depth
    EXPECT_LT(biggestStep, 1e-2) << "a fade, not a switch";

    std::vector<double> same(x.size(), 1.0), other(x.size(), 1.0), none(x.size(), 1.0);
    applyFading(same, rate, 12, 5, 3);
    applyFading(other, rate, 12, 5, 4);
    applyFading(none, rate, 0, 5, 3);
    EXPECT_EQ(same, x);
    EXPECT_NE(other, x);
    EXPECT_EQ(none, std::vector<double>(x.size(), 1.0));
}

}  // namespace
