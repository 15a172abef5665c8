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

// Magnitude of transform bin b in the receiver's display unit (divided by 100).
float binMagnitude(std::span<const float> re, std::span<const float> im, int b) {
    const auto i = static_cast<std::size_t>(b);
    return std::sqrt(re[i] * re[i] + im[i] * im[i]) / 100.0f;
}

}  // namespace

RxAnalyzer::RxAnalyzer() {
    (void)dspTables();  // build the tables before the first block arrives
}

void RxAnalyzer::setProfile(const ModeProfile& profile) { profile_ = &profile; }

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
    foldZr_ = foldZi_ = foldL_ = 0.0;
    gridGr_ = gridGi_ = gridW_ = 0.0;
    occupancy_.fill(0.0);
    carriers_.reset();
    cleaned_ = false;
    coherent_.reset();
}

void RxAnalyzer::processBlock(std::span<const std::int16_t> block, const RxSettings& settings) {
    // Window: the former newest block becomes the older half.
    std::copy(rxHistory_.begin() + kBlockLength, rxHistory_.end(), rxHistory_.begin());
    const std::size_t taken = std::min<std::size_t>(block.size(), kBlockLength);
    std::copy_n(block.begin(), taken, rxHistory_.begin() + kBlockLength);
    std::fill(rxHistory_.begin() + kBlockLength + static_cast<std::ptrdiff_t>(taken), rxHistory_.end(), std::int16_t{0});

    const int captureTop = std::min(settings.captureTop, kMaxCaptureTop);
    coherent_.startPass(*profile_, settings.tuningFrequency);
    mixAndDecimate(settings.tuningFrequency);
    symbolSpectraPass();
    timingSpectraPass(captureTop);
    previousTimingPhase_ = timingPhase_;
    chooseTimingPhase();
    if (settings.sensitive) {
        carrierRejectionPass(captureTop);
        foldTimingUpdate(captureTop);
    } else {
        stepTimingOffset();
    }
    toneDetection(captureTop, settings.sensitive, settings.squelchAttack);
}

void RxAnalyzer::mixAndDecimate(int tuningFrequency) {
    const int rate = profile_->sampleRate;
    if (tuningFrequency != mixerFrequency_ || rate != mixerRate_) {
        // The mixer phase restarts at 0 on every pass, so its sine and cosine are the same
        // sequence every block: compute them once per tuning frequency and rate.
        constexpr double twoPiMixer = 2.0 * 3.1415926;
        const double increment = twoPiMixer * tuningFrequency / rate;
        double phi = 0.0;
        for (int i = 0; i < kHistory; ++i) {
            phi += increment;
            if (phi > twoPiMixer) phi -= twoPiMixer;
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

void RxAnalyzer::symbolSpectraPass() {
    std::fill(symbolSpectra_.begin(), symbolSpectra_.end(), 0.0f);
    spectraOffset_ = timingOffset_;
    spectraOf(baseI_.data(), baseQ_.data(), symbolSpectra_.data());
}

void RxAnalyzer::spectraOf(const float* baseI, const float* baseQ, float* rows) {
    const int k = profile_->spacingFactor;
    const int n = symbolCount();
    const int len = 128 * k;
    std::span<float, 512> re(fftRe_);
    std::span<float, 512> im(fftIm_);
    for (int s = 0; s < n; ++s) {
        const int start = 512 + timingOffset_ + len * s;
        for (int m = 0; m < 512; ++m) {
            const int p = start + m;
            const bool inside = m < len && p >= 0 && p < kDecimatedLength;
            re[static_cast<std::size_t>(m)] = inside ? baseI[p] / 32.0f : 0.0f;
            im[static_cast<std::size_t>(m)] = inside ? baseQ[p] / 32.0f : 0.0f;
        }
        fft512(re, im);
        float* row = rows + s * kSymbolBins;
        for (int b = 0; b < kSymbolBins; ++b)
            row[b] = binMagnitude(re, im, b);
    }
}

void RxAnalyzer::carrierRejectionPass(int captureTop) {
    // Same windows as the symbol spectra (this pass's timing offset), on the cleaned baseband.
    const int n = symbolCount();
    const auto rows = std::span<float>(decisionSpectra_.data(), static_cast<std::size_t>(n * kSymbolBins));
    cleaned_ = carriers_.cancel(baseI_, baseQ_, cleanI_, cleanQ_);
    if (cleaned_) spectraOf(cleanI_.data(), cleanQ_.data(), rows.data());
    else std::copy_n(symbolSpectra_.begin(), rows.size(), rows.begin());
    carriers_.learn(rows, n, 128 * profile_->spacingFactor, captureTop);
    carriers_.suppressKeyed(rows, n, captureTop);
}

void RxAnalyzer::timingSpectraPass(int captureTop) {
    const int k = profile_->spacingFactor;
    const int len = 128 * k;
    std::span<float, 256> re(fftRe_.data(), 256);
    std::span<float, 256> im(fftIm_.data(), 256);
    for (int t = 0; t < kTimingSteps; ++t) {
        // One timing step later than the symbol windows, so that a settled loop (phase 7)
        // puts the timing windows on the symbol boundaries.
        const int start = 512 + 16 * k + timingOffset_ + 16 * k * t;
        float* row = timingSpectra_.data() + t * kTimingBins;
        if (start >= kDecimatedLength) {
            std::fill_n(row, kTimingBins, 0.0f);
            continue;
        }
        for (int m = 0; m < 256; ++m) {
            const int p = start + m;
            const bool inside = m < len && p >= 0 && p < kDecimatedLength;
            re[static_cast<std::size_t>(m)] = inside ? baseI_[static_cast<std::size_t>(p)] / 8.0f : 0.0f;
            im[static_cast<std::size_t>(m)] = inside ? baseQ_[static_cast<std::size_t>(p)] / 8.0f : 0.0f;
        }
        fft256(re, im);
        for (int b = 0; b < kTimingBins; ++b)
            row[b] = binMagnitude(re, im, b);
    }

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

void RxAnalyzer::toneDetection(int captureTop, bool sensitive, int squelchAttack) {
    const int n = symbolCount();
    double p = 0.0;
    double total = 0.00001;
    double previousPeak = 0.0;
    std::array<int, kMaxSymbolsPerBlock> fullPeaks{};
    // Sensitive receive decides on the spectra with other stations' carriers rejected.
    const float* rows = sensitive ? decisionSpectra_.data() : symbolSpectra_.data();
    for (int s = 0; s < n; ++s) {
        const float* row = rows + s * kSymbolBins;
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
        fullPeaks[static_cast<std::size_t>(s)] = bestBin;
        p += 4.0 * best;
    }
    if (sensitive) gridTracking(captureTop, rows, std::span<const int>(fullPeaks.data(), static_cast<std::size_t>(n)));

    const double q = p / (total - p) / 0.08;
    const int raw = (std::isfinite(q) && q > 0.0) ? nearestInt(40.0 * std::log10(q)) : 0;
    smoothSnr(raw, squelchAttack);
}

void RxAnalyzer::smoothSnr(int newRaw, int attack) {
    if (newRaw <= snrRaw_) {
        snrSmoothed_ = newRaw;
    } else {
        snrSmoothed_ = nearestInt((static_cast<double>(attack) * snrSmoothed_ + snrRaw_) / (1.0 + attack));
    }
    snrRaw_ = newRaw;
}

void RxAnalyzer::foldTimingUpdate(int captureTop) {
    // The phase is still chosen for the timing panel; only the offset update differs.
    const int k = profile_->spacingFactor;
    const int used = timingOffset_;

    // Fold the strongest-bin magnitude of symbol-long windows, one timing step apart, onto one
    // symbol period: windows on the symbol boundaries see one clean tone and stand out.
    const int period = 128 * k;
    const int stepLen = 16 * k;
    const int first = 512 + used;
    int count = first + period <= kDecimatedLength ? (kDecimatedLength - period - first) / stepLen + 1 : 0;
    count -= count % 8;
    if (count <= 0) return;

    std::span<float, 512> re(fftRe_);
    std::span<float, 512> im(fftIm_);
    const double twoPi = 8.0 * std::atan(1.0);
    // Other stations' steady carriers taken out, keyed ones passed over.
    const float* baseI = cleaned_ ? cleanI_.data() : baseI_.data();
    const float* baseQ = cleaned_ ? cleanQ_.data() : baseQ_.data();
    double cr = 0.0, ci = 0.0, sumM = 0.0;
    for (int i = 0; i < count; ++i) {
        const int w = first + stepLen * i;
        for (int m = 0; m < 512; ++m) {
            const bool inside = m < period;
            re[static_cast<std::size_t>(m)] = inside ? baseI[w + m] / 32.0f : 0.0f;
            im[static_cast<std::size_t>(m)] = inside ? baseQ[w + m] / 32.0f : 0.0f;
        }
        fft512(re, im);
        float best = 0.0f;
        for (int b = kCaptureBottom; b <= captureTop; ++b) {
            if (carriers_.keyedBin(b)) continue;
            const float mag = binMagnitude(re, im, b);
            best = std::max(best, mag);
        }
        const double angle = twoPi * w / period;
        cr += best * std::cos(angle);
        ci += best * std::sin(angle);
        sumM += best;
    }
    foldZr_ = 0.75 * foldZr_ + cr / count;
    foldZi_ = 0.75 * foldZi_ + ci / count;
    foldL_ = 0.75 * foldL_ + sumM / count;

    if (std::hypot(foldZr_, foldZi_) < 0.02 * foldL_) return;
    double q = std::fmod(std::atan2(foldZi_, foldZr_) * period / twoPi, static_cast<double>(period));
    if (q < 0) q += period;
    double r = std::fmod(q - used, static_cast<double>(period));
    if (r > period / 2.0) r -= period;
    if (r < -period / 2.0) r += period;
    timingOffset_ = truncMod(used + nearestInt(r), 256 * k);
}

void RxAnalyzer::gridTracking(int captureTop, const float* rows, std::span<const int> fullPeaks) {
    // Tones lie exactly four bins apart: learn where that grid sits from the strongest bins of
    // recent symbols, and read every symbol only at the grid positions.
    const double twoPi = 8.0 * std::atan(1.0);
    double gr = 0.0, gi = 0.0, w = 0.0;
    for (std::size_t s = 0; s < fullPeaks.size(); ++s) {
        const int b = fullPeaks[s];
        if (b < 0) continue;
        const float* row = rows + s * kSymbolBins;
        const double y0 = row[b - 1], y1 = row[b], y2 = row[b + 1];
        const double denom = y0 - 2.0 * y1 + y2;
        const double x = denom < 0.0 ? b + 0.5 * (y0 - y2) / denom : b;
        gr += y1 * std::cos(twoPi * x / 4.0);
        gi += y1 * std::sin(twoPi * x / 4.0);
        w += y1;
    }
    gridGr_ = 0.75 * gridGr_ + gr;
    gridGi_ = 0.75 * gridGi_ + gi;
    gridW_ = 0.75 * gridW_ + w;
    for (double& o : occupancy_) o *= 0.75;
    for (int b : fullPeaks)
        if (b >= 0) occupancy_[static_cast<std::size_t>(b)] += 1.0;

    if (gridW_ <= 0.0 || std::hypot(gridGr_, gridGi_) / gridW_ < 0.5) return coherent_.loseGrid();
    double g = std::fmod(std::atan2(gridGi_, gridGr_) * 4.0 / twoPi, 4.0);
    if (g < 0) g += 4.0;

    std::array<double, kSymbolBins / 4 + 2> positions{};
    std::array<double, kSymbolBins / 4 + 2> scores{};
    int count = 0;
    for (int j = 0; j < static_cast<int>(positions.size()); ++j) {
        const double pj = g + 4.0 * j;
        if (pj < kCaptureBottom) continue;
        if (pj > captureTop) break;
        double score = 0.0;
        for (int b = static_cast<int>(std::ceil(pj - 1.5)); b <= static_cast<int>(std::floor(pj + 1.5)); ++b)
            if (b >= 0 && b < kSymbolBins) score += occupancy_[static_cast<std::size_t>(b)];
        positions[static_cast<std::size_t>(count)] = pj;
        scores[static_cast<std::size_t>(count)] = score;
        ++count;
    }
    if (count < kToneCount) return coherent_.loseGrid();
    double bestTotal = -1.0;
    int bestStart = 0;
    for (int start = 0; start + kToneCount <= count; ++start) {
        double total = 0.0;
        for (int j = start; j < start + kToneCount; ++j) total += scores[static_cast<std::size_t>(j)];
        if (total > bestTotal) {
            bestTotal = total;
            bestStart = start;
        }
    }
    double inRange = 0.0;
    for (int b = kCaptureBottom; b <= captureTop; ++b) inRange += occupancy_[static_cast<std::size_t>(b)];
    if (inRange <= 0.0 || bestTotal < 0.8 * inRange) return coherent_.loseGrid();

    // Each symbol is decided on the grid with the tones' phases where they can be predicted.
    const std::span<const double> candidates(positions.data() + bestStart, kToneCount);
    coherent_.setGrid(candidates[0]);
    const int k = profile_->spacingFactor;
    for (std::size_t s = 0; s < fullPeaks.size(); ++s) {
        const float* row = rows + s * kSymbolBins;
        // Where a keyed carrier's bins were thinned out, the candidate is no stronger than what
        // was left of them.
        std::array<double, kToneCount> strengths{}, caps{};
        for (int i = 0; i < kToneCount; ++i) {
            const double pj = candidates[static_cast<std::size_t>(i)];
            const int lo = static_cast<int>(std::floor(pj));
            const bool keyed = carriers_.keyedBin(lo) || (lo + 1 < kSymbolBins && carriers_.keyedBin(lo + 1));
            const double frac = pj - lo;
            const double hi = lo + 1 < kSymbolBins ? row[lo + 1] : 0.0;
            strengths[static_cast<std::size_t>(i)] = (1.0 - frac) * row[lo] + frac * hi;
            caps[static_cast<std::size_t>(i)] = keyed ? strengths[static_cast<std::size_t>(i)] : -1.0;
        }
        const int start = 512 + spectraOffset_ + 128 * k * static_cast<int>(s);
        const int i = coherent_.decide(cleaned_ ? std::span<const float>(cleanI_) : std::span<const float>(baseI_),
                                       cleaned_ ? std::span<const float>(cleanQ_) : std::span<const float>(baseQ_),
                                       start, candidates, strengths, caps);
        slotPeak_[s] = std::nearbyint(candidates[static_cast<std::size_t>(i)]) - kCaptureBottom;
    }
}

}  // namespace vantrel::modem
