// vantrel-cer: character error rate of the modem over a simulated channel, per speed and SNR.
// Encodes English text as the chat window sends it, passes it through the channel simulator
// (white noise, a frequency offset, a sample-clock error, fading, other stations, carriers,
// static crashes, hum), decodes it as the chat window receives it and compares; with --genie
// the genie decodes the very same recordings beside it.

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/genie.h"
#include "cli/audio_file.h"
#include "cli/transmission.h"
#include "modem/mode_profile.h"
#include "tests/support/loopback_trial.h"

namespace {

using vantrel::testsupport::TrialResult;
using vantrel::testsupport::TrialSetup;

constexpr const char* kDefaultText =
    "Good morning and thanks for the call. Your signal is fine here, the name is Pat and the QTH is "
    "near the coast. 73";

constexpr const char* kHelp =
    "Usage: vantrel-cer [OPTIONS]\n"
    "Character error rate of the modem over a simulated channel.\n"
    "\n"
    "  --speed LIST       baud rates, comma separated, or all (default 11)\n"
    "  --snr-from DB      lowest SNR in a 2500 Hz bandwidth (default -12)\n"
    "  --snr-to DB        highest SNR (default 6)\n"
    "  --snr-step DB      step (default 3)\n"
    "  --trials N         trials per SNR, each with its own noise (default 4)\n"
    "  --seed N           first seed (default 1)\n"
    "  --offset HZ        frequency offset of the receiver (default 0)\n"
    "  --ppm P            sample-clock error of the receiver (default 0)\n"
    "  --lead-in N        noise-only samples before the signal (default: random per trial,\n"
    "                     under one block)\n"
    "  --noise-before A,B seconds of noise before the signal, random in A..B per trial\n"
    "  --freq HZ          tuning frequency of both stations (default 1000)\n"
    "  --squelch N        squelch trigger level of the receiver (default 15)\n"
    "  --standard         the standard receiver (default: Sensitive receive; --sensitive\n"
    "                     is accepted)\n"
    "  --carrier HZ:DB[:DRIFT]  a carrier at HZ, DB over the signal's power, drifting DRIFT\n"
    "                     Hz per second (default steady); repeatable\n"
    "  --carrier-in-band DB[:DRIFT]  the same at a random place in the signal's band per trial\n"
    "  --morse-in-band DB    a carrier keying Morse at 20 wpm, at a random place in the band\n"
    "  --neighbour HZ:DB[:START]  another station of the mode HZ above the signal, DB over\n"
    "                     its power, on the air from START seconds after the signal begins\n"
    "                     (negative: before; default random in -3..3 per trial); repeatable\n"
    "  --crashes RATE:DB  static crashes: 1-10 ms bursts, RATE per second, DB over the\n"
    "                     signal's power at their peak\n"
    "  --hum HZ:DB        mains hum: HZ (50 or 60) and its harmonics up to 1 kHz, DB over\n"
    "                     the signal's power in all\n"
    "  --phase-jumps N    the transmitter's phase jumps at random every N symbols\n"
    "  --no-noise         no band noise (one SNR point is run)\n"
    "  --genie            also decode every recording with the genie (known timing and\n"
    "                     frequency, strongest of the 18 tone energies) and print its figures\n"
    "  --by-strength      Sensitive receive deciding by the tones' strength alone\n"
    "  --save DIR         write every trial's recording to DIR/BAUD-SNR-TRIAL.wav\n"
    "  --fading KIND      two-path fading: moderate (1 ms, 0.5 Hz), poor (2 ms, 1 Hz) or\n"
    "                     flutter (0.5 ms, 2 Hz)\n"
    "  --level CER        also print, per trial, the lowest SNR from which on the error rate\n"
    "                     stays at or below CER %, and their mean and spread\n"
    "  --text TEXT        text to send (default: a short English QSO line)\n"
    "  --jobs N           trials run at once (default: number of processors)\n"
    "  --markdown         print one Markdown table for all speeds at the end\n"
    "  --show             print the text each trial received\n";

struct Options {
    std::vector<int> speeds{11};
    double snrFrom = -12, snrTo = 6, snrStep = 3;
    int trials = 4;
    unsigned long long seed = 1;
    double offset = 0, ppm = 0;
    int leadIn = -1;
    double noiseFrom = -1, noiseTo = -1;  // seconds, when --noise-before is given
    int freq = 1000;
    int squelch = 15;
    bool sensitive = true;
    std::string text = kDefaultText;
    int jobs = 0;
    bool markdown = false;
    bool show = false;
    std::vector<vantrel::testsupport::Carrier> carriers;
    std::optional<double> carrierInBandDb, morseInBandDb;
    double inBandDrift = 0;
    std::vector<vantrel::testsupport::Neighbour> neighbours;  // startS NAN: random per trial
    std::optional<vantrel::testsupport::Crashes> crashes;
    std::optional<vantrel::testsupport::Hum> hum;
    int phaseJumpSymbols = 0;
    bool noise = true;
    bool genie = false;
    bool byStrength = false;
    std::string saveDir;
    std::optional<vantrel::testsupport::Fading> fading;
    std::optional<double> level;
};

struct Row {
    double snr = 0;
    double cer = 0;  // mean over trials
    double genieCer = 0;
    int callOk = 0, wordOk = 0, callWordOk = 0, trials = 0;
};

struct Outcome {
    TrialResult rx;
    TrialResult genie;
};

bool parseNumber(const std::string& s, double& v) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc{} && end == s.data() + s.size() && std::isfinite(v);
}

// "A:B[:C]" as numbers; false unless it holds from `least` to `most` of them.
bool parseColonList(const std::string& s, std::size_t least, std::size_t most, std::vector<double>& out) {
    out.clear();
    std::stringstream ss(s);
    for (std::string item; std::getline(ss, item, ':');) {
        double v = 0;
        if (!parseNumber(item, v)) return false;
        out.push_back(v);
    }
    return out.size() >= least && out.size() <= most;
}

enum class Parsed { Run, Help, Error };

// The other transmitters and the band's noises: empty when `a` is none of them, else whether
// `v` fits it.
std::optional<bool> parseInterference(const std::string& a, const std::string& v, Options& o) {
    auto fail = [](const std::string& msg) {
        std::cerr << "vantrel-cer: " << msg << '\n';
        return false;
    };
    std::vector<double> f;
    if (a == "--carrier") {
        if (!parseColonList(v, 2, 3, f)) return fail("--carrier wants HZ:DB[:DRIFT], not " + v);
        o.carriers.push_back({f[0], f[1], false, 20, f.size() > 2 ? f[2] : 0.0});
    } else if (a == "--carrier-in-band") {
        if (!parseColonList(v, 1, 2, f)) return fail("--carrier-in-band wants DB[:DRIFT], not " + v);
        o.carrierInBandDb = f[0];
        o.inBandDrift = f.size() > 1 ? f[1] : 0.0;
    } else if (a == "--neighbour") {
        if (!parseColonList(v, 2, 3, f)) return fail("--neighbour wants HZ:DB[:START], not " + v);
        o.neighbours.push_back({{}, f[0], f[1], f.size() > 2 ? f[2] : NAN});
    } else if (a == "--crashes") {
        if (!parseColonList(v, 2, 2, f) || f[0] < 0 || f[0] > 100) return fail("--crashes wants RATE:DB, not " + v);
        o.crashes = vantrel::testsupport::Crashes{f[0], f[1]};
    } else if (a == "--hum") {
        if (!parseColonList(v, 2, 2, f) || f[0] < 1) return fail("--hum wants HZ:DB, not " + v);
        o.hum = vantrel::testsupport::Hum{f[0], 1000, f[1]};
    } else {
        return std::nullopt;
    }
    return true;
}

Parsed parseOptions(int argc, char** argv, Options& o) {
    auto fail = [](const std::string& msg) {
        std::cerr << "vantrel-cer: " << msg << '\n';
        return Parsed::Error;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") return Parsed::Help;
        if (a == "--sensitive" || a == "--standard") { o.sensitive = a == "--sensitive"; continue; }
        if (a == "--markdown") { o.markdown = true; continue; }
        if (a == "--no-noise") { o.noise = false; continue; }
        if (a == "--genie") { o.genie = true; continue; }
        if (a == "--by-strength") { o.byStrength = true; continue; }
        if (a == "--show") { o.show = true; continue; }
        if (i + 1 >= argc) return fail("unknown option or missing value: " + a);
        const std::string v = argv[++i];
        double x = 0;
        const bool isNumber = parseNumber(v, x);
        if (a == "--speed") {
            o.speeds.clear();
            if (v == "all") {
                o.speeds = {4, 5, 8, 11, 16, 22};
                continue;
            }
            std::stringstream ss(v);
            for (std::string item; std::getline(ss, item, ',');) {
                double b = 0;
                if (!parseNumber(item, b) || !vantrel::modem::profileByBaud(static_cast<int>(b)))
                    return fail("no such speed: " + item);
                o.speeds.push_back(static_cast<int>(b));
            }
        } else if (a == "--text") {
            o.text = v;
        } else if (a == "--save") {
            o.saveDir = v;
        } else if (a == "--noise-before") {
            const auto comma = v.find(',');
            double from = 0, to = 0;
            if (comma == std::string::npos || !parseNumber(v.substr(0, comma), from) ||
                !parseNumber(v.substr(comma + 1), to) || from < 0 || to < from || to > 600)
                return fail("--noise-before wants A,B seconds with 0 <= A <= B: " + v);
            o.noiseFrom = from;
            o.noiseTo = to;
        } else if (a == "--fading") {
            if (v == "moderate") o.fading = vantrel::testsupport::kFadingModerate;
            else if (v == "poor") o.fading = vantrel::testsupport::kFadingPoor;
            else if (v == "flutter") o.fading = vantrel::testsupport::kFadingFlutter;
            else return fail("no such fading: " + v);
        } else if (const auto fits = parseInterference(a, v, o)) {
            if (!*fits) return Parsed::Error;
        } else if (!isNumber) {
            return fail("unknown option or bad number: " + a + " " + v);
        } else if (a == "--snr-from") o.snrFrom = x;
        else if (a == "--snr-to") o.snrTo = x;
        else if (a == "--snr-step" && x > 0) o.snrStep = x;
        else if (a == "--trials" && x >= 1) o.trials = static_cast<int>(x);
        else if (a == "--seed" && x >= 0) o.seed = static_cast<unsigned long long>(x);
        else if (a == "--offset") o.offset = x;
        else if (a == "--ppm" && std::abs(x) < 1e5) o.ppm = x;
        else if (a == "--lead-in" && x >= 0 && x < 1e7) o.leadIn = static_cast<int>(x);
        else if (a == "--freq" && x >= 0 && x <= 2500) o.freq = static_cast<int>(x);
        else if (a == "--squelch") o.squelch = std::max(1, static_cast<int>(std::floor(x)));
        else if (a == "--morse-in-band") o.morseInBandDb = x;
        else if (a == "--phase-jumps" && x >= 1 && x < 1e6) o.phaseJumpSymbols = static_cast<int>(x);
        else if (a == "--level" && x > 0) o.level = x / 100.0;
        else if (a == "--jobs" && x >= 1) o.jobs = static_cast<int>(x);
        else return fail("unknown option or value out of range: " + a + " " + v);
    }
    return Parsed::Run;
}

// Control characters as C escapes, so a received line stays one line.
std::string printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c < 32 || c > 126) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out;
}

// The neighbours' text: long enough to stay on the air through the wanted transmission.
std::string neighbourText(const std::string& wanted) {
    std::string text;
    while (text.size() < wanted.size() + 40) text += "CQ CQ CQ de K9NBR K9NBR K9NBR, calling CQ and standing by. ";
    return text;
}

// The channel of one trial. One seed per (speed, trial): every SNR of a trial sees the same
// noise shape, and the draws for the older options come first, as they always did.
TrialSetup trialSetup(const Options& o, const vantrel::modem::ModeProfile& profile, int baud, double snr, std::size_t trial) {
    std::seed_seq seq{o.seed, static_cast<unsigned long long>(baud), static_cast<unsigned long long>(trial)};
    std::mt19937_64 rng(seq);
    TrialSetup setup;
    setup.text = o.text;
    setup.txFrequency = o.freq;
    if (o.noise) setup.channel.snrDb = snr;
    setup.channel.frequencyOffsetHz = o.offset;
    setup.channel.clockPpm = o.ppm;
    setup.channel.seed = rng();
    setup.channel.leadInSamples = o.leadIn >= 0 ? o.leadIn : static_cast<int>(rng() % vantrel::modem::kBlockLength);
    if (o.noiseFrom >= 0) {
        const double seconds = o.noiseFrom + (o.noiseTo - o.noiseFrom) * static_cast<double>(rng() % 1000001) / 1e6;
        setup.channel.leadInSamples = static_cast<int>(seconds * profile.sampleRate);
    }
    setup.channel.fading = o.fading;
    setup.channel.carriers = o.carriers;
    // Inside the band: anywhere from the lowest to the highest tone as the receiver hears them.
    const double spacing = profile.sampleRate / 1024.0;
    const double low = vantrel::modem::txBaseFrequency(profile, o.freq) + o.offset;
    std::uniform_real_distribution<double> inBand(low, low + 17 * spacing);
    if (o.carrierInBandDb) setup.channel.carriers.push_back({inBand(rng), *o.carrierInBandDb, false, 20, o.inBandDrift});
    if (o.morseInBandDb) setup.channel.carriers.push_back({inBand(rng), *o.morseInBandDb, true, 20});
    std::uniform_real_distribution<double> around(-3.0, 3.0);
    for (auto n : o.neighbours) {
        if (std::isnan(n.startS)) n.startS = around(rng);
        vantrel::cli::TransmitRequest request;
        request.text = neighbourText(o.text);
        request.callsign = "K9NBR";
        request.tuningFrequency = o.freq;
        request.leadIn = false;
        n.transmission = vantrel::cli::renderTransmission(profile, request);
        // Room before the signal for a neighbour that starts first.
        setup.channel.leadInSamples = std::max(setup.channel.leadInSamples, static_cast<int>(-n.startS * profile.sampleRate) + 1);
        setup.channel.neighbours.push_back(std::move(n));
    }
    setup.channel.crashes = o.crashes;
    setup.channel.hum = o.hum;
    setup.channel.phaseJumpSamples = o.phaseJumpSymbols * vantrel::modem::symbolLength(profile);
    setup.receive.rx.tuningFrequency = o.freq;
    setup.receive.rx.sensitive = o.sensitive;
    setup.receive.rx.tonePhase = !o.byStrength;
    setup.receive.squelchLevel = o.squelch;
    return setup;
}

Outcome runOne(const Options& o, const vantrel::modem::ModeProfile& profile, const TrialSetup& setup, const std::string& name) {
    vantrel::cli::TransmitRequest request;
    request.text = setup.text;
    request.callsign = setup.callsign;
    request.tuningFrequency = setup.txFrequency;
    const auto sent = vantrel::cli::renderTransmission(profile, request);
    const auto heard = vantrel::testsupport::applyChannel(sent, profile.sampleRate, setup.channel);
    if (!o.saveDir.empty()) {
        vantrel::cli::WavOutput wav;
        if (!wav.open(o.saveDir + "/" + name + ".wav", profile.sampleRate) || !wav.write(heard) || !wav.close())
            std::cerr << "vantrel-cer: " << wav.error() << '\n';
    }
    Outcome out;
    out.rx = vantrel::testsupport::judgeTrial(setup, vantrel::cli::decodeSamples(profile, setup.receive, heard).primary);
    if (o.genie) {
        // renderTransmission starts with two silent blocks; the channel stretches what follows.
        vantrel::bench::GenieKnowledge k;
        k.txFrequency = setup.txFrequency;
        k.clockPpm = setup.channel.clockPpm;
        k.frequencyOffsetHz = setup.channel.frequencyOffsetHz;
        k.firstSymbol = setup.channel.leadInSamples + 2.0 * vantrel::modem::kBlockLength * (1.0 + k.clockPpm * 1e-6);
        k.symbols = (static_cast<long long>(sent.size()) - 2 * vantrel::modem::kBlockLength) / vantrel::modem::symbolLength(profile);
        out.genie = vantrel::testsupport::judgeTrial(setup, vantrel::bench::genieDecode(profile, heard, k));
    }
    return out;
}

// Per trial, the lowest SNR of the sweep from which on every point meets the level.
void printLevel(const Options& o, int baud, const std::vector<double>& snrs, const std::vector<TrialResult>& results) {
    std::vector<double> levels;
    for (int t = 0; t < o.trials; ++t) {
        double lowest = NAN;
        for (std::size_t si = snrs.size(); si-- > 0;) {
            if (results[si * static_cast<std::size_t>(o.trials) + static_cast<std::size_t>(t)].cer > *o.level + 1e-9) break;
            lowest = snrs[si];
        }
        levels.push_back(lowest);
    }
    double mean = 0, lo = INFINITY, hi = -INFINITY;
    for (double l : levels) {
        mean += l;
        lo = std::min(lo, l);
        hi = std::max(hi, l);
    }
    mean /= static_cast<double>(levels.size());
    std::printf("LEVEL %d baud: %.3g%% CER from", baud, 100 * *o.level);
    for (double l : levels) std::printf(" %.1f", l);
    std::printf(" dB; mean %.2f dB, spread %.1f..%.1f\n", mean, lo, hi);
}

std::vector<Row> measureSpeed(const Options& o, int baud) {
    const auto& profile = *vantrel::modem::profileByBaud(baud);
    std::vector<double> snrs;
    for (double s = o.snrFrom; s <= o.snrTo + 1e-9; s += o.snrStep) {
        snrs.push_back(s);
        if (!o.noise) break;
    }

    const std::size_t total = snrs.size() * static_cast<std::size_t>(o.trials);
    std::vector<Outcome> outcomes(total);
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t job = next++; job < total; job = next++) {
            const std::size_t si = job / static_cast<std::size_t>(o.trials);
            const std::size_t trial = job % static_cast<std::size_t>(o.trials);
            char name[64];
            std::snprintf(name, sizeof name, "%d-%g-%zu", baud, snrs[si], trial);
            outcomes[job] = runOne(o, profile, trialSetup(o, profile, baud, snrs[si], trial), name);
        }
    };
    const int jobs = o.jobs > 0 ? o.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::thread> pool;
    for (int j = 1; j < jobs; ++j) pool.emplace_back(worker);
    worker();
    for (auto& t : pool) t.join();
    std::vector<TrialResult> results(total);
    for (std::size_t i = 0; i < total; ++i) results[i] = outcomes[i].rx;

    if (o.show) {
        for (std::size_t job = 0; job < total; ++job) {
            std::printf("%d baud, %g dB, trial %zu: \"%s\"\n", baud, snrs[job / static_cast<std::size_t>(o.trials)],
                        job % static_cast<std::size_t>(o.trials), printable(results[job].received).c_str());
            if (o.genie) std::printf("  genie: \"%s\"\n", printable(outcomes[job].genie.received).c_str());
        }
    }

    if (o.level) printLevel(o, baud, snrs, results);

    std::vector<Row> rows;
    for (std::size_t si = 0; si < snrs.size(); ++si) {
        Row r;
        r.snr = snrs[si];
        for (int t = 0; t < o.trials; ++t) {
            const TrialResult& tr = results[si * static_cast<std::size_t>(o.trials) + static_cast<std::size_t>(t)];
            r.cer += tr.cer;
            r.genieCer += outcomes[si * static_cast<std::size_t>(o.trials) + static_cast<std::size_t>(t)].genie.cer / o.trials;
            r.callOk += tr.callsignDecoded;
            r.wordOk += tr.firstWordDecoded;
            r.callWordOk += tr.callAndFirstWordDecoded;
        }
        r.trials = o.trials;
        r.cer /= o.trials;
        rows.push_back(r);
    }
    return rows;
}

std::string conditions(const Options& o) {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%s receive, squelch %d, offset %g Hz, clock %g ppm, %d trials per SNR",
                  o.sensitive ? "sensitive" : "standard", o.squelch, o.offset, o.ppm, o.trials);
    std::string c = buf;
    if (o.fading) c += o.fading->delayMs < 0.75 ? ", flutter" : o.fading->delayMs > 1.5 ? ", poor fading" : ", moderate fading";
    for (const auto& k : o.carriers) c += ", carrier " + std::to_string(static_cast<int>(k.hz)) + " Hz " + std::to_string(static_cast<int>(k.relativeDb)) + " dB";
    if (o.carrierInBandDb) c += ", steady carrier in the band at " + std::to_string(static_cast<int>(*o.carrierInBandDb)) + " dB";
    if (o.morseInBandDb) c += ", Morse carrier in the band at " + std::to_string(static_cast<int>(*o.morseInBandDb)) + " dB";
    if (o.inBandDrift != 0) c += " drifting " + std::to_string(o.inBandDrift) + " Hz/s";
    for (const auto& n : o.neighbours) c += ", a station " + std::to_string(static_cast<int>(n.offsetHz)) + " Hz above at " + std::to_string(static_cast<int>(n.relativeDb)) + " dB";
    if (o.crashes) c += ", static crashes " + std::to_string(o.crashes->perSecond) + "/s at " + std::to_string(static_cast<int>(o.crashes->peakDb)) + " dB";
    if (o.hum) c += ", hum " + std::to_string(static_cast<int>(o.hum->mainsHz)) + " Hz at " + std::to_string(static_cast<int>(o.hum->relativeDb)) + " dB";
    if (o.phaseJumpSymbols > 0) c += ", phase jumps every " + std::to_string(o.phaseJumpSymbols) + " symbols";
    if (o.byStrength) c += ", tones by strength alone";
    if (!o.noise) c += ", no noise";
    if (o.genie) c += "; the genie's figure in brackets after";
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    switch (parseOptions(argc, argv, o)) {
    case Parsed::Help:
        std::cout << kHelp;
        return 0;
    case Parsed::Error:
        return 2;
    case Parsed::Run:
        break;
    }
    if (o.text.empty()) {
        std::cerr << "vantrel-cer: --text must not be empty\n";
        return 2;
    }

    std::vector<std::vector<Row>> all;
    for (int baud : o.speeds) {
        all.push_back(measureSpeed(o, baud));
        if (o.markdown) continue;
        std::printf("%d baud, %s\n", baud, conditions(o).c_str());
        std::printf("  SNR dB    CER %%   call  first word  \"CALL: first\"%s\n", o.genie ? "  genie CER %" : "");
        for (const Row& r : all.back()) {
            std::printf("  %6.1f  %7.2f  %2d/%-2d  %2d/%-2d       %2d/%-2d", r.snr, 100 * r.cer, r.callOk, r.trials,
                        r.wordOk, r.trials, r.callWordOk, r.trials);
            if (o.genie) std::printf("        %7.2f", 100 * r.genieCer);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    if (o.markdown) {
        std::printf(o.genie ? "Character error rate in %%, %s.\n\n" : "Character error rate in %% (call sign decoded in how many trials), %s.\n\n",
                    conditions(o).c_str());
        std::printf("| SNR dB |");
        for (int baud : o.speeds) std::printf(" %d baud |", baud);
        std::printf("\n|---:|");
        for (std::size_t i = 0; i < o.speeds.size(); ++i) std::printf("---:|");
        std::printf("\n");
        for (std::size_t ri = 0; ri < all.front().size(); ++ri) {
            std::printf("| %g |", all.front()[ri].snr);
            for (const auto& rows : all) {
                if (o.genie) std::printf(" %.1f (%.1f) |", 100 * rows[ri].cer, 100 * rows[ri].genieCer);
                else std::printf(" %.1f (%d/%d) |", 100 * rows[ri].cer, rows[ri].callOk, rows[ri].trials);
            }
            std::printf("\n");
        }
    }
    return 0;
}
