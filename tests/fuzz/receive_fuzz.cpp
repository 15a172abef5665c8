// The receive chain, both receivers, on any sequence of blocks: a transmitter's signal at any
// level and offset, that signal with noise, raw bytes as samples, or extreme values, while the
// operator changes tuning (0..2500 Hz), capture top (7..122), squelch level and attack, the
// receiver and the speed between blocks. After every block:
// - each slot's strongest bin lies between the capture bottom and top, the timing phase is one of
//   16 and the timing offset within one symbol cycle of the current speed; spectra are finite;
// - the smoothed S/N never leaves the range of the raw readings it follows;
// - the squelch is open exactly when the smoothed reading reaches its level, and then the
//   characters printed are exactly what the nibble code's rule makes of the pass's symbol values.
// The input: a first byte (speed in its low bits, modulo 6; bit 3 Sensitive receive), then per
// block an operation byte (bits 0-5: change tuning, capture top, attack, squelch, receiver,
// speed, each followed by its value; bits 6-7: the source) and the source's bytes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "modem/receiver.h"
#include "modem/tx_modulator.h"
#include "nibble_rule.h"

using namespace vantrel::modem;

namespace {

constexpr int kMaxBlocks = 8;
constexpr std::array<int, 3> kAttacks{0, 1, 3};

// The input read front to back, so kept inputs are easy to write by hand: a byte past the end
// reads as 0.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    int byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    int word() { return byte() | (byte() << 8); }
    int range(int lo, int hi) { return lo + word() % (hi - lo + 1); }
    std::string text(std::size_t length) {
        std::string t;
        while (t.size() < length && !empty()) t += static_cast<char>(byte());
        return t;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

std::int16_t clip(double x) { return static_cast<std::int16_t>(std::clamp(x, -32768.0, 32767.0)); }

// Sources: 0 the transmitter's signal, 1 that signal with noise, 2 raw bytes, 3 a square wave.
void fillBlock(Input& in, int source, TxModulator& tx, const RxSettings& rx, std::vector<std::int16_t>& block) {
    if (source <= 1) {
        if (!tx.transmitting()) {
            const std::size_t length = static_cast<std::size_t>(in.byte() % 40);
            tx.start(in.text(length), "DL1ABC");
        }
        tx.setTuningFrequency(rx.tuningFrequency + in.byte() - 60);
        tx.renderTxBlock(block);
        const double gain = std::ldexp(1.0, -(in.byte() % 13));
        const std::string noise = source == 1 ? in.text(2 * static_cast<std::size_t>(in.byte()) + 2) : std::string();
        for (std::size_t i = 0; i < block.size(); ++i) {
            const double n = noise.empty() ? 0.0 : (static_cast<std::uint8_t>(noise[i % noise.size()]) - 128) * 64.0;
            block[i] = clip(block[i] * gain + n);
        }
    } else if (source == 2) {
        const std::string raw = in.text(4 * static_cast<std::size_t>(in.byte()) + 2);
        const std::size_t pairs = raw.size() / 2;
        for (std::size_t i = 0; i < block.size(); ++i) {
            const std::size_t j = pairs == 0 ? 0 : 2 * (i % pairs);
            block[i] = pairs == 0 ? 0
                                  : static_cast<std::int16_t>(static_cast<std::uint8_t>(raw[j]) |
                                                              (static_cast<std::uint8_t>(raw[j + 1]) << 8));
        }
    } else {
        const std::size_t period = static_cast<std::size_t>(in.byte() % 64 + 1);
        const auto a = static_cast<std::int16_t>(in.word());
        const std::int16_t b = in.byte() & 1 ? std::int16_t{-32768} : std::int16_t{32767};
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = (i / period) % 2 ? a : b;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    const int first = in.byte();
    const ModeProfile* profile = &kProfiles[static_cast<std::size_t>(first % 6)];
    Receiver receiver;
    receiver.setProfile(*profile);
    receiver.reset();
    TxModulator tx;
    tx.setProfile(*profile);
    tx.setIdleText("DL1ABC");
    tx.setEndOfTransmissionHandler([&tx] { tx.stop(); });

    RxSettings rx;
    rx.sensitive = (first & 8) != 0;
    int squelch = 15;
    int lowestRaw = 0, highestRaw = 0;  // the readings start at 0
    std::vector<std::int16_t> block(kBlockLength);

    for (int b = 0; b < kMaxBlocks && !in.empty(); ++b) {
        const int op = in.byte();
        if (op & 1) rx.tuningFrequency = in.range(kMinTuningFrequency, kMaxTuningFrequency);
        if (op & 2) rx.captureTop = 7 + in.byte() % (kMaxCaptureTop - 7 + 1);
        if (op & 4) rx.squelchAttack = kAttacks[static_cast<std::size_t>(in.byte() % 3)];
        if (op & 8) squelch = 1 + in.byte() % 99;
        if (op & 16) rx.sensitive = !rx.sensitive;
        if (op & 32) {
            profile = &kProfiles[static_cast<std::size_t>(in.byte() % 6)];
            receiver.setProfile(*profile);
            tx.setProfile(*profile);
        }
        fillBlock(in, op >> 6, tx, rx, block);

        const DecodedChars chars = receiver.processBlock(block, rx, squelch);
        const RxAnalyzer& a = receiver.analyzer();
        const int n = symbolsPerBlock(*profile);
        const int k = profile->spacingFactor;

        FUZZ_CHECK(a.symbolCount() == n && a.slotPeaks().size() == static_cast<std::size_t>(n), "slot count");
        for (double peak : a.slotPeaks())
            FUZZ_CHECK(peak >= 0 && peak <= rx.captureTop - kCaptureBottom && peak == std::floor(peak),
                       "slot peak outside the capture range");
        for (float m : a.symbolSpectra()) FUZZ_CHECK(std::isfinite(m) && m >= 0, "symbol spectrum value");
        for (double v : a.timingProfile()) FUZZ_CHECK(std::isfinite(v) && v >= 0, "timing profile value");
        FUZZ_CHECK(a.timingPhase() >= 0 && a.timingPhase() < 16, "timing phase");
        FUZZ_CHECK(a.previousTimingPhase() >= 0 && a.previousTimingPhase() < 16, "previous timing phase");
        FUZZ_CHECK(std::abs(a.timingOffset()) < 256 * k, "timing offset beyond one symbol cycle");

        lowestRaw = std::min(lowestRaw, a.snrRaw());
        highestRaw = std::max(highestRaw, a.snrRaw());
        FUZZ_CHECK(std::abs(a.snrRaw()) <= 40 * 309, "raw S/N beyond any double's logarithm");
        FUZZ_CHECK(a.snrSmoothed() >= lowestRaw && a.snrSmoothed() <= highestRaw, "smoothed S/N outside the raw readings");

        FUZZ_CHECK(chars.squelchOpen == (a.snrSmoothed() >= squelch), "squelch state against its level");
        FUZZ_CHECK(chars.primaryCount >= 0 && chars.primaryCount <= n, "primary count");
        FUZZ_CHECK(chars.secondaryCount >= 0 && chars.secondaryCount <= n, "secondary count");
        const auto values = receiver.decoder().symbolValues();
        for (int d : values) FUZZ_CHECK(d >= 0 && d < kToneCount, "symbol value outside the tone ring");
        vantrel::fuzz::Walked rule;
        if (chars.squelchOpen) rule = vantrel::fuzz::walk({values.begin(), values.end()}, static_cast<std::size_t>(n));
        FUZZ_CHECK(std::string(chars.primaryText().begin(), chars.primaryText().end()) == rule.primary,
                   "typed characters differ from the code's rule");
        FUZZ_CHECK(std::string(chars.secondaryText().begin(), chars.secondaryText().end()) == rule.secondary,
                   "idle characters differ from the code's rule");
    }
    return 0;
}
