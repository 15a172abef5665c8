// How the phase of every tone is predicted.
//
// The transmitter's tones are whole multiples M of sampleRate / 1024 and every symbol lasts a
// whole multiple of 1024 samples, so a tone starts every symbol at the same phase: the signal is
// pieced together from 18 steady oscillators that agree at each symbol boundary. Heard at the
// receiver, tone M at audio sample t has the phase 2 pi M (t - t0) / 1024 + theta, plus the
// rotation of the frequency offset, the same for all tones (t0 is where the transmission's
// symbols start, theta the channel's phase).
//
// ToneDecision correlates each symbol window with every candidate tone on the grid (tone J of the
// grid at referenceHz + J * sampleRate / 1024). That value carries the tone's phase at the
// window's first sample, sign reversed and shifted by the receive mixer's phase there (the mixer
// starts every pass at phase 0). Taking out what is known (turnFor):
//   - the mixer's phase at the window start (known from the pass and the window position);
//   - the tone's own advance since the previous window: referenceHz * step for all tones, plus
//     J turns per 1024 samples of the step for tone J. The second is zero while the windows move
//     on by whole symbols and only matters when the symbol timing shifts the windows;
// leaves W(j, J) = C * exp(i (slope * J + rotation * j)) for symbol j, up to noise. The slope
// comes from where the windows sit against the transmitter's symbol grid (it drifts with a
// sample-clock error), the rotation per symbol from the part of the frequency offset the grid
// position does not catch, and C is the channel. All three wander slowly.
//
// Learning them: the last kHistory symbols' strongest tones (chosen by magnitude, so that the
// prediction can never talk itself into its own decisions) are kept with their values W. Once
// per pass the slope is found by trying 64 values against the products of successive symbols
// (W(j) conj W(j-1) = |C|^2 exp(i (slope * dJ + rotation))), the rotation follows from the best
// of them, and both are refined by a weighted straight-line fit of the phases left over.
// Turning every kept symbol on to the symbol being decided and back to tone 0 then gives one
// estimate of C each; their sum, weighted towards the recent ones and scaled by
// sum(w) / sum(w^2), is the reference R: the sum a coherent detector's reference would be.
//
// That full-strength R assumes the phase stays exactly on the fit. It is scaled down by how far
// the phase really wanders: every symbol's strongest tone grades the prediction made for it
// before it was seen (the cosine of the phase error); the spread of those errors, less the part
// the symbols' own noise explains (noise power from the other candidates over twice the signal
// power), is the wander, and R is weighted by the spread it was built for over that wander (at
// most 1). Where the phase does not carry from symbol to symbol (fading, flutter, a timing still
// pulling in, noise alone) the grades fall towards 0 and R with them. R is also scaled by
// whether the kept tone steps pin the slope down at all (the preamble's repeated step of two
// leaves 18 slopes equally good). A single strong tone far off a prediction that weighed in its
// decision is no wander but a jump of the transmitter's phase: the history starts over there.

#include "phase_reference.h"

#include <algorithm>
#include <cmath>

#include "dsp_math.h"

namespace vantrel::modem {
namespace {

// Weight of a kept symbol by its age in symbols (1 = the last one): the phase is learnt mostly
// from the last ten or so symbols, so that a slowly wandering channel is followed.
constexpr double kForget = 0.9;
// Kept symbols needed before any prediction is made.
constexpr int kMinimumHistory = 8;
// Slopes tried when the slope is searched afresh.
constexpr int kSlopeSteps = 64;

// Rotation of `hz` over `samples` audio samples at `rate`, reduced to one turn.
double rotationOver(double hz, long long samples, int rate) {
    const double cycles = hz * static_cast<double>(samples) / rate;
    return kTwoPi * (cycles - std::floor(cycles));
}

}  // namespace

struct PhaseReference::Sums {
    Complex sum;
    double w = 0, w2 = 0, hits = 0, power = 0, noise = 0;
};

PhaseReference::PhaseReference() {
    double w = 1.0;
    for (double& weight : weights_) {
        weight = w;
        w *= kForget;
    }
    for (int q = 0; q < kSlopeSteps; ++q)
        slopeTurns_[static_cast<std::size_t>(q)] = std::polar(1.0, -kTwoPi * q / kSlopeSteps);
    ageTurns_.fill(Complex(1.0, 0.0));
}

void PhaseReference::reset() {
    locked_ = false;
    historyCount_ = 0;
    historyHead_ = 0;
    commonPhase_ = tonePhase_ = 0;
    slope_ = rotation_ = 0;
    ageTurns_.fill(Complex(1.0, 0.0));
    reliability_ = 0;
    uniqueness_ = 0;
}

void PhaseReference::startPass(const ModeProfile& profile, int tuningFrequency) {
    if (&profile != profile_) {
        profile_ = &profile;
        reset();
    }
    tuningFrequency_ = tuningFrequency;
    ++pass_;
}

void PhaseReference::setGrid(double firstPosition) {
    const double binHz = profile_->sampleRate / 4096.0;
    const double hz = tuningFrequency_ + firstPosition * binHz;
    if (locked_) {
        // The same grid moves by far less than a bin between passes; more means another grid.
        double bins = std::fmod((hz - referenceHz_) / binHz, 4.0);
        if (bins >= 2.0) bins -= 4.0;
        if (bins < -2.0) bins += 4.0;
        if (std::abs(bins) > 0.6) reset();
    }
    if (!locked_) {
        locked_ = true;
        referenceHz_ = hz;
        lastTime_ = -1;
    }
    estimateRotation();
}

const PhaseReference::Kept& PhaseReference::kept(int age) const {
    return history_[static_cast<std::size_t>((historyHead_ - age + kHistory) % kHistory)];
}

void PhaseReference::advanceTo(int windowStart) {
    const long long time = pass_ * kBlockLength + 8LL * windowStart;
    if (lastTime_ >= 0) {
        const long long step = time - lastTime_;
        if (step <= 0 || step > 4LL * kBlockLength) {
            historyCount_ = 0;
        } else {
            commonPhase_ = wrapPhase(commonPhase_ + rotationOver(referenceHz_, step, profile_->sampleRate));
            tonePhase_ = wrapPhase(tonePhase_ + kTwoPi * static_cast<double>(step % 1024) / 1024.0);
        }
    }
    lastTime_ = time;
}

PhaseReference::Complex PhaseReference::turnFor(int tone, int windowStart) const {
    // The mixer's phase at the window's first sample (the centre of the first filter span).
    const int rate = profile_->sampleRate;
    const long long mixerSamples = 8LL * windowStart + 33;
    const double mixerPhase =
        kTwoPi * static_cast<double>((static_cast<long long>(tuningFrequency_) * mixerSamples) % rate) / rate;
    return std::polar(1.0, commonPhase_ + tonePhase_ * tone - mixerPhase);
}

int PhaseReference::toneAt(double hz) const {
    return static_cast<int>(std::lround((hz - referenceHz_) / (profile_->sampleRate / 1024.0)));
}

PhaseReference::Prediction PhaseReference::predict() {
    double trust = 0;
    Prediction p;
    p.reference = reference(trust, agreement_);
    reliability_ = historyCount_ >= kMinimumHistory ? trust * uniqueness_ : 0.0;
    p.reliability = reliability_;
    return p;
}

double PhaseReference::grade(const Complex& value, const Complex& predicted) const {
    if (historyCount_ < kMinimumHistory || !(std::abs(predicted) > 0) || !(std::abs(value) > 0)) return 0.0;
    return std::real(value * std::conj(predicted)) / (std::abs(value) * std::abs(predicted));
}

void PhaseReference::startOver() {
    historyCount_ = 0;
    reliability_ = 0;
    uniqueness_ = 0;
}

void PhaseReference::keep(Complex value, int tone, double noise, double hit) {
    Kept& k = history_[static_cast<std::size_t>(historyHead_)];
    k.value = value;
    k.tone = tone;
    k.symbol = symbol_;
    k.level = value * std::polar(1.0, -slope_ * tone);
    k.noise = noise;
    // Graded before this symbol joins the history, so that no symbol grades its own prediction.
    k.hit = hit;
    historyHead_ = (historyHead_ + 1) % kHistory;
    historyCount_ = std::min(historyCount_ + 1, kHistory);
    ++symbol_;
}

PhaseReference::Sums PhaseReference::sums() const {
    Sums s;
    for (int a = 1; a <= historyCount_; ++a) {
        const Kept& k = kept(a);
        const long long age = symbol_ - k.symbol;
        if (age < 1 || age > kHistory) continue;
        const double w = weights_[static_cast<std::size_t>(age - 1)];
        s.sum += w * k.level * ageTurns_[static_cast<std::size_t>(age - 1)];
        s.hits += w * k.hit;
        s.power += w * std::norm(k.value);
        s.noise += w * k.noise;
        s.w += w;
        s.w2 += w * w;
    }
    return s;
}

PhaseReference::Complex PhaseReference::reference(double& trust, double& agreement) const {
    const Sums s = sums();
    trust = 0;
    agreement = 0;
    if (!(s.w2 > 0)) return Complex{};
    agreement = s.hits / s.w;
    // The full reference suits a phase that stays exactly on the fit, known as well as the kept
    // symbols' noise allows. How far past predictions missed (the spread of their phase errors,
    // from the mean cosine) less what the noise of the symbols themselves explains is how far
    // the phase really wanders; the reference is weighted down by the ratio.
    const double noise = s.noise / s.w;
    const double signal = s.power / s.w - noise;
    if (!(signal > 0) || !(noise > 0)) return Complex{};
    const double spreadNoise = noise / (2 * signal);
    const double spreadMissed = 2 * (1 - std::min(s.hits / s.w, 1.0));
    const double spreadBest = spreadNoise * s.w2 / (s.w * s.w);
    trust = spreadBest / std::max(spreadMissed - spreadNoise, spreadBest);
    return s.sum * (s.w / s.w2);
}

void PhaseReference::estimateRotation() {
    uniqueness_ = 0;
    if (historyCount_ < kMinimumHistory) return;
    std::array<Complex, kSlopeSteps> fit{};
    for (int a = 1; a < historyCount_; ++a) {
        const Kept& newer = kept(a);
        const Kept& older = kept(a + 1);
        if (newer.symbol != older.symbol + 1) continue;
        const Complex diff = newer.value * std::conj(older.value) * weights_[static_cast<std::size_t>(a - 1)];
        const int dj = newer.tone - older.tone;
        for (int q = 0; q < kSlopeSteps; ++q)
            fit[static_cast<std::size_t>(q)] += diff * slopeTurns_[static_cast<std::size_t>(((q * dj) % kSlopeSteps + kSlopeSteps) % kSlopeSteps)];
    }
    int bestQ = 0;
    for (int q = 1; q < kSlopeSteps; ++q)
        if (std::abs(fit[static_cast<std::size_t>(q)]) > std::abs(fit[static_cast<std::size_t>(bestQ)])) bestQ = q;
    const double top = std::abs(fit[static_cast<std::size_t>(bestQ)]);
    if (!(top > 0)) return;
    double second = 0;
    for (int q = 0; q < kSlopeSteps; ++q) {
        const int dist = std::min((q - bestQ + kSlopeSteps) % kSlopeSteps, (bestQ - q + kSlopeSteps) % kSlopeSteps);
        if (dist >= 2) second = std::max(second, std::abs(fit[static_cast<std::size_t>(q)]));
    }
    const double y0 = std::abs(fit[static_cast<std::size_t>((bestQ + kSlopeSteps - 1) % kSlopeSteps)]);
    const double y2 = std::abs(fit[static_cast<std::size_t>((bestQ + 1) % kSlopeSteps)]);
    const double curve = y0 - 2 * top + y2;
    slope_ = wrapPhase(kTwoPi * (bestQ + (curve < 0 ? 0.5 * (y0 - y2) / curve : 0.0)) / kSlopeSteps);

    Complex sum{};
    for (int a = 1; a < historyCount_; ++a) {
        const Kept& newer = kept(a);
        const Kept& older = kept(a + 1);
        if (newer.symbol != older.symbol + 1) continue;
        sum += newer.value * std::conj(older.value) * weights_[static_cast<std::size_t>(a - 1)] *
               std::polar(1.0, -slope_ * (newer.tone - older.tone));
    }
    rotation_ = std::arg(sum);
    retune();
    for (int iteration = 0; iteration < 2; ++iteration) refineRotation();
    // Only a slope that stands clear of the others is worth predicting from.
    uniqueness_ = std::clamp((1.0 - second / top) / 0.25, 0.0, 1.0);
}

void PhaseReference::refineRotation() {
    double trust = 0, agreement = 0;
    const Complex centre = reference(trust, agreement);
    if (std::abs(centre) <= 0) return;
    // Weighted straight-line fit of the phase left over against tone and age.
    std::array<double, kHistory> residual{}, weight{}, tone{}, age{};
    double sw = 0, sj = 0, sa = 0;
    for (int a = 1; a <= historyCount_; ++a) {
        const Kept& k = kept(a);
        const long long ageA = symbol_ - k.symbol;
        if (ageA < 1 || ageA > kHistory) continue;
        const auto i = static_cast<std::size_t>(a - 1);
        weight[i] = weights_[static_cast<std::size_t>(ageA - 1)] * std::abs(k.value);
        tone[i] = k.tone;
        age[i] = static_cast<double>(ageA);
        residual[i] = std::arg(k.value * std::polar(1.0, rotation_ * age[i] - slope_ * k.tone) * std::conj(centre));
        sw += weight[i];
        sj += weight[i] * tone[i];
        sa += weight[i] * age[i];
    }
    if (!(sw > 0)) return;
    double jj = 0, aa = 0, ja = 0, jr = 0, ar = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(historyCount_); ++i) {
        const double x1 = tone[i] - sj / sw, x2 = age[i] - sa / sw;
        jj += weight[i] * x1 * x1;
        aa += weight[i] * x2 * x2;
        ja += weight[i] * x1 * x2;
        jr += weight[i] * x1 * residual[i];
        ar += weight[i] * x2 * residual[i];
    }
    const double det = jj * aa - ja * ja;
    if (!(jj > 0 && aa > 0 && det > 1e-9 * jj * aa)) return;
    slope_ = wrapPhase(slope_ + (jr * aa - ar * ja) / det);
    // A phase that grows with age means the rotation per symbol was overestimated.
    rotation_ = wrapPhase(rotation_ - (ar * jj - jr * ja) / det);
    retune();
}

void PhaseReference::retune() {
    for (int a = 1; a <= historyCount_; ++a) {
        Kept& k = history_[static_cast<std::size_t>((historyHead_ - a + kHistory) % kHistory)];
        k.level = k.value * std::polar(1.0, -slope_ * k.tone);
    }
    const Complex step = std::polar(1.0, rotation_);
    Complex turn = step;
    for (Complex& t : ageTurns_) {
        t = turn;
        turn *= step;
    }
}

}  // namespace vantrel::modem
