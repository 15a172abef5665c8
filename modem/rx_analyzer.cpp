#include "rx_analyzer.h"

#include <algorithm>
#include <cmath>

#include "dsp_tables.h"

namespace vantrel::modem {
namespace {

constexpr int kTaps = 65;
// First half of the symmetric low-pass, h[0]..h[32]; h[m] = h[64 - m]. Sums to 1.
constexpr std::array<float, 33> kHalfTaps{
    +4.019777e-05f, -6.45394e-05f, -0.0002716255f, -0.0005690395f, -0.0009029781f, -0.001176396f,
    -0.001260982f,  -0.001023604f, -0.0003642824f, +0.0007413965f, +0.002205852f,  +0.003810732f,
    +0.005216012f,  +0.006002722f, +0.005748148f,  +0.004124295f,  +0.00100282f,   -0.00345539f,
    -0.008748806f,  -0.01404086f,  -0.01823266f,   -0.02010055f,   -0.01848282f,   -0.01248761f,
    -0.001686461f,  +0.01374389f,  +0.03296262f,   +0.05450802f,   +0.07644446f,   +0.09659625f,
    +0.1128347f,    +0.1233737f,   +0.1270255f,
};

constexpr int kHistory = 2 * kBlockLength;

// Remainder with the sign of the dividend, as the timing loop has always reduced its offset.
constexpr int truncMod(int a, int m) { return a % m; }

int nearestInt(double x) { return static_cast<int>(std::nearbyint(x)); }

// The receive mixer's 2 pi: the standard receiver's spectra have always been made with pi taken
// as 3.1415926, and its decisions depend on them bit for bit.
constexpr double kMixerTwoPi = 2.0 * 3.1415926;

}  // namespace

RxAnalyzer::RxAnalyzer() {
    (void)dspTables();  // build the tables before the first block arrives
}

void RxAnalyzer::setProfile(const ModeProfile& profile) {
    // Sensitive receive's grid, timing and averages are in the old speed's units.
    if (&profile != profile_) sensitive_.reset();
    profile_ = &profile;
}

void RxAnalyzer::reset() {
    rxHistory_.fill(0);
    timingPeak_.fill(0);
    lastTimingPeak_ = 0;
    timingProfile_.fill(0.0);
    timingPhase_ = 0;
    previousTimingPhase_ = 0;
    timingOffset_ = 0;
    slotPeak_.fill(0.0);
    snrRaw_ = 0;
    snrSmoothed_ = 0;
    sensitive_.reset();
}

void RxAnalyzer::processBlock(std::span<const std::int16_t> block, const RxSettings& settings) {
    // Window: the former newest block becomes the older half.
    std::copy(rxHistory_.begin() + kBlockLength, rxHistory_.end(), rxHistory_.begin());
    const std::size_t taken = std::min<std::size_t>(block.size(), kBlockLength);
    std::copy_n(block.begin(), taken, rxHistory_.begin() + kBlockLength);
    std::fill(rxHistory_.begin() + kBlockLength + static_cast<std::ptrdiff_t>(taken), rxHistory_.end(), std::int16_t{0});

    const int captureTop = std::min(settings.captureTop, kMaxCaptureTop);
    sensitive_.startPass(*profile_, settings.tuningFrequency);
    mixAndDecimate(settings.tuningFrequency);
    const int n = symbolCount();
    modem::symbolSpectra(baseI_, baseQ_, timingOffset_, *profile_,
                  std::span<float>(symbolSpectra_.data(), static_cast<std::size_t>(n * kSymbolBins)), scratch_);
    if (settings.sensitive) sensitive_.clean(baseI_, baseQ_, captureTop);
    // The timing panel shows what the receiver in use hears.
    if (settings.sensitive) timingSpectraPass(captureTop, sensitive_.cleanI(), sensitive_.cleanQ());
    else timingSpectraPass(captureTop, baseI_, baseQ_);
    previousTimingPhase_ = timingPhase_;
    chooseTimingPhase();
    int raw = 0;
    if (settings.sensitive) {
        const auto d = sensitive_.decide(captureTop, timingOffset_, timingSpectra_, settings.tonePhase,
                                         std::span<double>(slotPeak_.data(), static_cast<std::size_t>(n)));
        timingOffset_ = d.nextOffset;
        raw = rawReading(d.peakSum, d.total);
    } else {
        stepTimingOffset();
        raw = toneDetection(captureTop);
    }
    smoothSnr(raw, settings.squelchAttack);
}

void RxAnalyzer::mixAndDecimate(int tuningFrequency) {
    const int rate = profile_->sampleRate;
    if (tuningFrequency != mixerFrequency_ || rate != mixerRate_) {
        // The mixer phase restarts at 0 on every pass, so its sine and cosine are the same
        // sequence every block: compute them once per tuning frequency and rate.
        const double increment = kMixerTwoPi * tuningFrequency / rate;
        double phi = 0.0;
        for (int i = 0; i < kHistory; ++i) {
            phi += increment;
            if (phi > kMixerTwoPi) phi -= kMixerTwoPi;
            mixCos_[static_cast<std::size_t>(i)] = static_cast<float>(std::cos(phi));
            mixSin_[static_cast<std::size_t>(i)] = static_cast<float>(std::sin(phi));
        }
        mixerFrequency_ = tuningFrequency;
        mixerRate_ = rate;
    }

    // Mixed samples, with the filter's reach past the window reading as zero.
    static_assert(kTaps - 1 == 64);
    std::array<float, kHistory + 64>& mixI = mixScratchI_;
    std::array<float, kHistory + 64>& mixQ = mixScratchQ_;
    constexpr float mixerGain = 1.0f;
    for (int i = 0; i < kHistory; ++i) {
        const float x = rxHistory_[static_cast<std::size_t>(i)];
        mixI[static_cast<std::size_t>(i)] = -x * mixSin_[static_cast<std::size_t>(i)] / mixerGain;
        mixQ[static_cast<std::size_t>(i)] = x * mixCos_[static_cast<std::size_t>(i)] / mixerGain;
    }
    std::fill(mixI.begin() + kHistory, mixI.end(), 0.0f);
    std::fill(mixQ.begin() + kHistory, mixQ.end(), 0.0f);

    for (int j = 0; j < kDecimatedLength; ++j) {
        const float* pi = mixI.data() + 8 * j;
        const float* pq = mixQ.data() + 8 * j;
        float si = kHalfTaps[32] * pi[32];
        float sq = kHalfTaps[32] * pq[32];
        for (int m = 0; m < 32; ++m) {
            si += kHalfTaps[static_cast<std::size_t>(m)] * (pi[m] + pi[64 - m]);
            sq += kHalfTaps[static_cast<std::size_t>(m)] * (pq[m] + pq[64 - m]);
        }
        baseI_[static_cast<std::size_t>(j)] = si;
        baseQ_[static_cast<std::size_t>(j)] = sq;
    }
}

void RxAnalyzer::timingSpectraPass(int captureTop, std::span<const float> baseI, std::span<const float> baseQ) {
    modem::timingSpectra(baseI, baseQ, timingOffset_, *profile_, timingSpectra_, scratch_);

    // Strongest bin of each step, searched within that step's own spectrum only.
    const int top = std::min(captureTop, kTimingBins - 1);
    for (int t = 0; t < kTimingSteps; ++t) {
        const float* row = timingSpectra_.data() + t * kTimingBins;
        float best = 0.0f;
        int bestBin = -1;
        for (int b = kCaptureBottom; b <= top; ++b) {
            if (row[b] > best) {
                best = row[b];
                bestBin = b;
            }
        }
        if (bestBin >= 0) lastTimingPeak_ = bestBin;
        timingPeak_[static_cast<std::size_t>(t)] = lastTimingPeak_;
    }

    // Each group follows, over its 16 steps, the bin that was strongest at its eighth step.
    const auto sequenceAt = [this](int pos) {
        return pos >= 0 && pos < kTimingSteps * kTimingBins ? timingSpectra_[static_cast<std::size_t>(pos)] : 0.0f;
    };
    for (int g = 0; g < 8; ++g) {
        const int peak = timingPeak_[static_cast<std::size_t>(16 * g + 7)];
        for (int j = 0; j < 16; ++j) {
            const int t = 16 * g + j;
            auto& v = timingProfile_[static_cast<std::size_t>(t)];
            v = (v + sequenceAt(64 * t + peak)) / 2.0;
        }
    }
}

void RxAnalyzer::chooseTimingPhase() {
    int stored = 0;
    for (int d = 0; d < 16; ++d) {
        double sum = 0.0;
        for (int g = 0; g < 8; ++g) sum += timingProfile_[static_cast<std::size_t>(16 * g + d)];
        if (sum > stored) {
            stored = nearestInt(sum);
            timingPhase_ = d;
        }
    }
}

void RxAnalyzer::stepTimingOffset() {
    const int k = profile_->spacingFactor;
    timingOffset_ = truncMod(timingOffset_ - 8 * (7 - timingPhase_) * k, 256 * k);
}

int RxAnalyzer::toneDetection(int captureTop) {
    const int n = symbolCount();
    double p = 0.0;
    double total = 0.00001;
    double previousPeak = 0.0;
    for (int s = 0; s < n; ++s) {
        const float* row = symbolSpectra_.data() + s * kSymbolBins;
        float best = 0.0f;
        int bestBin = -1;
        for (int b = kCaptureBottom; b <= captureTop; ++b) {
            total += row[b];
            if (row[b] > best) {
                best = row[b];
                bestBin = b;
            }
        }
        if (bestBin >= 0) previousPeak = bestBin - kCaptureBottom;
        slotPeak_[static_cast<std::size_t>(s)] = previousPeak;
        p += 4.0 * best;
    }
    return rawReading(p, total);
}

int RxAnalyzer::rawReading(double peakSum, double total) {
    const double q = peakSum / (total - peakSum) / 0.08;
    return (std::isfinite(q) && q > 0.0) ? nearestInt(40.0 * std::log10(q)) : 0;
}

void RxAnalyzer::smoothSnr(int newRaw, int attack) {
    if (newRaw <= snrRaw_) {
        snrSmoothed_ = newRaw;
    } else {
        snrSmoothed_ = nearestInt((static_cast<double>(attack) * snrSmoothed_ + snrRaw_) / (1.0 + attack));
    }
    snrRaw_ = newRaw;
}

}  // namespace vantrel::modem
