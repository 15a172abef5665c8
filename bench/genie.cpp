#include "genie.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "modem/rx_decoder.h"

namespace vantrel::bench {
namespace {

// Energy of one tone over one window of the recording, by direct correlation.
double toneEnergy(std::span<const std::int16_t> heard, long long from, int length, double cyclesPerSample) {
    const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi * cyclesPerSample);
    std::complex<double> turn(1.0), sum;
    for (int n = 0; n < length; ++n) {
        const long long i = from + n;
        if (i >= 0 && i < static_cast<long long>(heard.size())) sum += static_cast<double>(heard[static_cast<std::size_t>(i)]) * turn;
        turn *= step;
    }
    return std::norm(sum);
}

}  // namespace

std::string genieDecode(const modem::ModeProfile& profile, std::span<const std::int16_t> heard,
                        const GenieKnowledge& knowledge) {
    const double stretch = 1.0 + knowledge.clockPpm * 1e-6;
    const int symbolLength = modem::symbolLength(profile);
    const int window = static_cast<int>(std::lround(symbolLength * stretch));
    const int base = modem::txBaseToneIndex(profile, knowledge.txFrequency);
    std::vector<double> tones;  // the decided tone of every symbol, in bins of the symbol spectra
    for (long long j = 0; j < knowledge.symbols; ++j) {
        const auto from = std::llround(knowledge.firstSymbol + static_cast<double>(j) * symbolLength * stretch);
        int best = 0;
        double bestEnergy = -1;
        for (int m = 0; m < modem::kToneCount; ++m) {
            const double hz = profile.sampleRate * (base + m) / 1024.0 / stretch + knowledge.frequencyOffsetHz;
            const double e = toneEnergy(heard, from, window, hz / profile.sampleRate);
            if (e > bestEnergy) bestEnergy = e, best = m;
        }
        tones.push_back(4.0 * best);
    }

    // Whole passes of symbols through the chat window's decoder, squelch open; one more pass
    // holding the last tone lets it decode the last symbols.
    const int n = modem::symbolsPerBlock(profile);
    tones.resize((tones.size() / static_cast<std::size_t>(n) + 2) * static_cast<std::size_t>(n), tones.empty() ? 0.0 : tones.back());
    modem::RxDecoder decoder;
    decoder.setProfile(profile);
    std::string text;
    for (std::size_t at = 0; at < tones.size(); at += static_cast<std::size_t>(n)) {
        const auto chars = decoder.decode(std::span<const double>(tones.data() + at, static_cast<std::size_t>(n)), 1, 1);
        for (std::uint8_t c : chars.primaryText()) text.push_back(static_cast<char>(c));
    }
    return text;
}

}  // namespace vantrel::bench
