#include "rx_decoder.h"

#include <cmath>

#include "varicode.h"

namespace vantrel::modem {
namespace {

bool isStart(int d) { return d >= 0 && d <= 7; }
bool isContinuation(int d) { return d >= 8 && d <= 15; }
bool shownOnScreen(int c) { return c == 10 || c == 13 || (c >= 32 && c <= 127); }

}  // namespace

void RxDecoder::reset() {
    tonePositions_.fill(0);
    symbolValues_.fill(0);
}

DecodedChars RxDecoder::decode(std::span<const double> slotPeaks, int snrSmoothed, int squelchLevel) {
    DecodedChars out;
    const int n = symbolsPerBlock(*profile_);

    // Tone history: the previous pass's positions, then this pass's, in whole bins.
    for (int i = 0; i < n; ++i) tonePositions_[static_cast<std::size_t>(i)] = tonePositions_[static_cast<std::size_t>(n + i)];
    for (int i = 0; i < n; ++i) {
        const double peak = i < static_cast<int>(slotPeaks.size()) ? slotPeaks[static_cast<std::size_t>(i)] : 0.0;
        tonePositions_[static_cast<std::size_t>(n + i)] = std::isfinite(peak) && std::abs(peak) < 1.0e6 ? static_cast<int>(std::nearbyint(peak)) : 0;
    }

    // Four bins make one tone step; the transmitter added 2 to every nibble.
    for (int i = 0; i <= n + 1; ++i) {
        const int diff = tonePositions_[static_cast<std::size_t>(i + 1)] - tonePositions_[static_cast<std::size_t>(i)];
        int d = static_cast<int>(std::floor(diff / 4.0 + 0.5)) - 2;
        d %= kToneCount;
        if (d < 0) d += kToneCount;
        symbolValues_[static_cast<std::size_t>(i)] = d;
    }

    if (squelchLevel > snrSmoothed) return out;
    out.squelchOpen = true;

    const VaricodeTable& codes = varicodeTable();
    const auto D = [this](int i) { return symbolValues_[static_cast<std::size_t>(i)]; };
    for (int i = 0; i <= n - 1; ++i) {
        if (D(i) >= 3 && D(i) <= 7 && isContinuation(D(i + 1)) && isContinuation(D(i + 2))) {
            const int c2 = codes.decodeSecondary(D(i), D(i + 1), D(i + 2));
            if (c2 >= 32 && c2 <= 122) out.secondary[static_cast<std::size_t>(out.secondaryCount++)] = static_cast<std::uint8_t>(c2);
        }
        if (!isStart(D(i))) continue;
        int c;
        if (isStart(D(i + 1))) {
            c = codes.decodePrimary(D(i), 0, 0);
        } else if (isStart(D(i + 2))) {
            c = codes.decodePrimary(D(i), D(i + 1), 0);
            i += 1;
        } else {
            c = codes.decodePrimary(D(i), D(i + 1), D(i + 2));
            i += 2;
        }
        if (shownOnScreen(c)) out.primary[static_cast<std::size_t>(out.primaryCount++)] = static_cast<std::uint8_t>(c);
    }
    return out;
}

int squelchLevelFromEntry(double entered) {
    if (!std::isfinite(entered) || entered < 1.0) return 1;
    if (entered > 1.0e9) return 1000000000;
    return static_cast<int>(std::floor(entered));
}

}  // namespace vantrel::modem
