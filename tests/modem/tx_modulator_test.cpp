// The transmitter, checked from the audio it produces: tones are read back from the samples and
// compared with the nibbles of the frame and with an ideal sine at the expected frequency.
#include <gtest/gtest.h>

#include "tests/modem/modem_test_support.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "modem/tx_modulator.h"
#include "modem/varicode.h"

using namespace vantrel::modem;

namespace {

constexpr double kTwoPi = 6.283185307179586;
// Single-precision phase accumulation over a block costs a few LSB; a wrong tone or a phase jump
// costs thousands.
constexpr double kSampleTolerance = 25.0;

using vantrel::modem::test::codeNibbles;

std::vector<int> slice(const std::vector<int>& v, std::size_t from, std::size_t count) {
    from = std::min(from, v.size());
    return {v.begin() + static_cast<long>(from), v.begin() + static_cast<long>(std::min(v.size(), from + count))};
}

// One modulator driven block by block, with everything it rendered read back from the audio.
struct TxRun {
    explicit TxRun(const ModeProfile& p, int hz = 1000) : profile(p), tuning(hz) {
        tx.setProfile(p);
        tx.setTuningFrequency(hz);
        tx.setIdleText("G4ABC ");
        tx.setEndOfTransmissionHandler([this] {
            ++ends;
            endSymbol = symbols.size();
            if (stopOnEnd) tx.stop();
        });
    }
    void retune(int hz) {
        tuning = hz;
        tx.setTuningFrequency(hz);
    }
    double toneFrequency(int tone) const {
        const int base = (tuning + 100) * profile.txBaseScale / 1100;
        return static_cast<double>(profile.sampleRate) * (base + tone) / 1024.0;
    }
    void render(int blocks = 1) {
        for (int b = 0; b < blocks; ++b) renderOne();
    }
    void renderUntilEnd() {
        for (int b = 0; b < 300 && ends == 0; ++b) renderOne();
        ASSERT_EQ(ends, 1);
    }
    // The nibble each heard tone step carries; the first step is taken from tone 0.
    std::vector<int> nibblesHeard() const {
        std::vector<int> out;
        int prev = 0;
        for (int t : tones) {
            out.push_back(((t - prev - 2) % 18 + 18) % 18);
            prev = t;
        }
        return out;
    }

    const ModeProfile& profile;
    int tuning;
    TxModulator tx;
    bool stopOnEnd = true;
    int ends = 0;
    std::size_t endSymbol = 0;  // symbols rendered before the block that ran the handler
    std::vector<int> symbols, tones;
    std::vector<std::int16_t> audio;
    double worstError = 0;

private:
    void renderOne() {
        std::vector<std::int16_t> buf(kBlockLength, 0x1234);  // stale samples from an earlier use
        tx.renderTxBlock(buf);
        EXPECT_EQ(buf[0], 0);
        const int len = symbolLength(profile);
        for (int j = 0; j < symbolsPerBlock(profile); ++j) {
            const std::int16_t* s = buf.data() + j * len;
            int best = -1;
            double bestPower = -1;
            for (int tone = 0; tone < 18; ++tone) {
                const std::complex<double> step = std::polar(1.0, kTwoPi * toneFrequency(tone) / profile.sampleRate);
                std::complex<double> rot = 1, acc = 0;
                for (int i = 0; i < len; ++i, rot *= step) acc += static_cast<double>(s[i]) * rot;
                if (std::norm(acc) > bestPower) bestPower = std::norm(acc), best = tone;
            }
            const double w = kTwoPi * toneFrequency(best) / profile.sampleRate;
            for (int i = 0; i < len; ++i)
                worstError = std::max(worstError, std::abs(s[i] - kTxAmplitude * std::sin(w * i)));
            tones.push_back(best);
        }
        for (int s : tx.lastSymbols()) symbols.push_back(s);
        audio.insert(audio.end(), buf.begin(), buf.end());
    }
};

const std::string kPreamble(11, ' '), kTail(11, ' '), kSentinel(5, '\x80');

}  // namespace

TEST(TxFraming, EntryIsFramedByPreambleCallsignTailAndSentinel) {
    TxModulator tx;
    tx.start("hello", "G4ABC");
    EXPECT_EQ(tx.txString(), kPreamble + "\r\nG4ABC: hello" + kTail + kSentinel);
    EXPECT_EQ(tx.txLength(), 31 + 5 + 5);
    EXPECT_EQ(tx.txTaken(), 0);
    EXPECT_EQ(tx.sentTextLength(), 5);
    tx.stop();
    EXPECT_EQ(tx.txLength(), 0);
    EXPECT_EQ(tx.txTaken(), 0);
    EXPECT_FALSE(tx.transmitting());

    tx.start("", "G4ABC");  // an empty entry still identifies the station
    EXPECT_EQ(tx.txString(), kPreamble + "\r\nG4ABC: " + kTail + kSentinel);
    EXPECT_EQ(tx.txLength(), 36);
}

TEST(TxTones, PreambleClimbsByTwoThenCrLfStepsOnFromTheCarriedTone) {
    TxRun run(defaultProfile());
    run.tx.start("", "K");
    run.render(2);
    EXPECT_EQ(run.tones, (std::vector<int>{2, 4, 6, 8, 10, 12, 14, 16, 0, 2, 4, 8, 5, 9, 1, 13}));
    EXPECT_EQ(run.tx.prevTone(), 13);
    EXPECT_LE(run.worstError, kSampleTolerance);
}

TEST(TxTones, CodeSplitAcrossBlocksIsCompletedFromTheCarriedTone) {
    TxRun run(kProfiles[0]);  // four symbols per block: the CR code "2D" straddles blocks 3 and 4
    run.tx.start("", "N");
    run.render(3);
    EXPECT_EQ(slice(run.symbols, 8, 4), (std::vector<int>{0, 0, 0, 2}));
    EXPECT_EQ(run.tx.queuedNibbles(), 1);
    const int carried = run.tx.prevTone();
    run.render();
    EXPECT_EQ(slice(run.symbols, 12, 4), (std::vector<int>{13, 2, 8, 10}));
    EXPECT_EQ(run.tones[12], (carried + 13 + 2) % 18);
}

// Two transmissions with idle text between them, at every speed: the audio carries exactly the
// frame's nibbles, then the idle text, then leftovers ahead of the next preamble, with the tone
// stepping never restarted.
TEST(TxTransmission, FrameIdleAndNextFrameAtEverySpeed) {
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        TxRun run(p);
        run.tx.start("CQ ~{|}\x06\xff", "G4ABC");
        const std::string first = run.tx.txString();
        run.renderUntilEnd();
        EXPECT_FALSE(run.tx.transmitting());
        run.render(2);

        const auto frame = codeNibbles(first);
        EXPECT_EQ(slice(run.symbols, 0, frame.size()), frame);
        // The operator's text is wholly in blocks played before the one that ended the transmission.
        EXPECT_LE(codeNibbles(first.substr(0, first.size() - kTail.size() - kSentinel.size())).size(), run.endSymbol);
        const auto idle = codeNibbles("G4ABC G4ABC ", true);
        EXPECT_EQ(slice(run.symbols, frame.size(), idle.size()),
                  slice(idle, 0, run.symbols.size() - frame.size()));

        const int before = run.tx.prevTone();
        const std::size_t at = run.symbols.size();
        const int leftover = run.tx.queuedNibbles();
        run.tx.start("again", "G4ABC");
        run.render(4);
        EXPECT_EQ(run.tones[at], (run.symbols[at] + before + 2) % 18);
        EXPECT_EQ(slice(run.symbols, at + static_cast<std::size_t>(leftover), 11), std::vector<int>(11, 0));
        // Every tone step heard is the reported symbol; "\x06" ("1FF") makes 15 steps one tone down.
        EXPECT_EQ(run.nibblesHeard(), run.symbols);
        EXPECT_GE(std::count(run.symbols.begin(), run.symbols.end(), 15), 2);
        EXPECT_LE(run.worstError, kSampleTolerance);
    }
}

TEST(TxTransmission, EntryTextCannotEndTheTransmissionEarly) {
    // Code 128 typed or pasted into the entry is text like any other: only the frame's own
    // sentinel may end the transmission, or the rest of the entry is never sent.
    TxRun run(defaultProfile());
    run.tx.start("price " + kSentinel + " and the rest of the line", "G4ABC");
    const std::string frame = run.tx.txString();
    run.renderUntilEnd();
    EXPECT_LE(codeNibbles(frame.substr(0, frame.size() - kTail.size() - kSentinel.size())).size(), run.endSymbol);
}

TEST(TxTransmission, SentinelEndsTheTransmissionOnce) {
    for (bool stops : {true, false}) {
        TxRun run(defaultProfile());
        run.stopOnEnd = stops;  // a handler that does not stop must not be called again and again
        run.tx.start("73", "G4ABC");
        run.render(30);
        EXPECT_EQ(run.ends, 1);
        EXPECT_EQ(run.tx.remaining(), 0);
    }
}

TEST(TxSynthesis, WholePeriodsPeakLevelAndContinuityAtEverySpeed) {
    for (const auto& p : kProfiles) {
        SCOPED_TRACE(p.menuCaption);
        TxRun run(p);
        run.tx.start("The quick brown fox 0123", "G4ABC");
        run.render(5);
        EXPECT_LE(run.worstError, kSampleTolerance);
        const auto [lo, hi] = std::minmax_element(run.audio.begin(), run.audio.end());
        EXPECT_EQ(*hi, 25000);
        EXPECT_EQ(*lo, -25000);
        // No jump anywhere, block boundaries included, beyond the slope of the highest tone.
        const double maxStep = kTxAmplitude * kTwoPi * run.toneFrequency(17) / p.sampleRate + kSampleTolerance;
        for (std::size_t i = 1; i < run.audio.size(); ++i)
            ASSERT_LE(std::abs(run.audio[i] - run.audio[i - 1]), maxStep) << "sample " << i;
    }
}

TEST(TxSynthesis, TonesSitOnTheBaseGridOfTheTuningFrequency) {
    EXPECT_EQ(txBaseToneIndex(kProfiles[0], 0), 12);
    EXPECT_DOUBLE_EQ(txBaseFrequency(kProfiles[0], 0), 93.75);
    EXPECT_EQ(txBaseToneIndex(kProfiles[5], 2500), 125);
    EXPECT_NEAR(txBaseFrequency(kProfiles[5], 2500), 2691.65, 0.01);
    EXPECT_EQ(txBaseToneIndex(kProfiles[0], 1000), 135);
    EXPECT_EQ(txBaseToneIndex(kProfiles[1], 1000), 99);
    EXPECT_EQ(txBaseToneIndex(kProfiles[2], 1000), 71);
    EXPECT_EQ(txBaseToneIndex(kProfiles[5], 1000), 53);

    for (const auto& p : kProfiles)
        for (int hz : {0, 2500}) {
            SCOPED_TRACE(std::string(p.menuCaption) + " F=" + std::to_string(hz));
            TxRun run(p, hz);
            run.tx.start("tune", "G4ABC");
            run.render(2);
            run.retune(1000);  // a new tuning moves the tones from the next block on
            run.render(2);
            EXPECT_LE(run.worstError, kSampleTolerance);
            EXPECT_EQ(run.nibblesHeard(), run.symbols);
        }
}

TEST(TxIdleText, NocallIsReplacedByTheCallsign) {
    TxModulator tx;
    tx.setIdleText("nocall");
    tx.refreshNocallIdleText("nocall");  // the default callsign still goes out, followed by a space
    EXPECT_EQ(tx.idleText(), "nocall ");

    tx.setIdleText("nocall");
    tx.refreshNocallIdleText("G4ABC");
    EXPECT_EQ(tx.idleText(), "G4ABC ");
    tx.refreshNocallIdleText("G4ABC");
    EXPECT_EQ(tx.idleText(), "G4ABC ");

    tx.setIdleText("nocall");
    tx.callsignChanged("nocall", "M0XYZ");
    EXPECT_EQ(tx.idleText(), "M0XYZ  ");

    tx.setIdleText("M0XYZ");
    tx.refreshNocallIdleText("G4ABC");
    EXPECT_EQ(tx.idleText(), "M0XYZ");

    // A changed call sign identifies the station at once, also after "nocall " went out.
    tx.callsignChanged("M0XYZ", "G4ABC");
    EXPECT_EQ(tx.idleText(), "G4ABC");
    tx.setIdleText("nocall");
    tx.refreshNocallIdleText("nocall");
    tx.callsignChanged("nocall", "M0XYZ");
    EXPECT_EQ(tx.idleText(), "M0XYZ");
}

TEST(TxIdleText, AnUnchangedCallsignLeavesTheIdleTextWhereItIs) {
    TxRun run(defaultProfile());
    run.tx.setIdleText("nocall");
    run.tx.callsignChanged("nocall", "nocall");  // cancelled at the very first start
    EXPECT_EQ(run.tx.idleText(), "nocall  ");
    run.render(3);

    // Cancelled again, or OK on the same call: the two spaces stay, and the idle cycle goes on
    // from where it is, exactly as if the dialog had not been opened.
    TxRun reference(defaultProfile());
    reference.tx.setIdleText("nocall  ");
    reference.render(4);
    run.tx.callsignChanged("nocall", "nocall");
    EXPECT_EQ(run.tx.idleText(), "nocall  ");
    run.render(1);
    EXPECT_EQ(std::vector<int>(run.tx.lastSymbols().begin(), run.tx.lastSymbols().end()),
              std::vector<int>(reference.tx.lastSymbols().begin(), reference.tx.lastSymbols().end()));
}

TEST(TxProgress, RemainingLineAndBarLength) {
    EXPECT_EQ(remainingLineText(42), "     Characters remaining  =     42");
    EXPECT_EQ(remainingLineText(0), "     Characters remaining  =     0");
    EXPECT_EQ(remainingLineText(-3), "     Characters remaining  =    -3");
    EXPECT_EQ(formatShownNumber(15), " 15");
    EXPECT_EQ(formatShownNumber(-7), "-7");

    EXPECT_EQ(progressBarLength(0, 0, 200), std::nullopt);  // not transmitting: nothing drawn
    EXPECT_EQ(progressBarLength(0, 40, 200), 122);          // 0.61 of the width
    EXPECT_EQ(progressBarLength(40, 40, 200), 0);
    EXPECT_EQ(progressBarLength(2, 4, 200), 61);
    EXPECT_EQ(progressBarLength(3, 4, 200), 30);  // 30.5 rounds to even
    EXPECT_EQ(progressBarLength(1, 4, 200), 92);  // 91.5 rounds to even
    EXPECT_EQ(progressBarLength(0, 10, 0), 0);

    TxRun run(defaultProfile());
    std::vector<std::pair<int, int>> calls;
    run.tx.setProgressHandler([&](int taken, int length) { calls.emplace_back(taken, length); });
    run.tx.start("hi", "K");
    run.render(2);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 34}, {8, 34}}));
}
