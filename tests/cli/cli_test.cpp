// vantrel-modem as a user runs it: real files, real processes, exit statuses and messages.

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "modem/slot_bank.h"
#include "modem/tx_modulator.h"
#include "tests/support/text_metrics.h"

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status = -1;  // exit status, or -1 when the program died of a signal
    std::string out, err;
};

std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class Cli : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("vantrel-cli-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    // Runs vantrel-modem with the (already quoted) arguments; stdin from `input` when given.
    RunResult modem(const std::string& args, const std::string* input = nullptr) const {
        std::string cmd = std::string(VANTREL_MODEM_EXE) + " " + args;
        if (input) {
            std::ofstream(path("stdin.txt"), std::ios::binary) << *input;
            cmd += " < " + quote(path("stdin.txt").string());
        } else {
            cmd += " < /dev/null";
        }
        cmd += " > " + quote(path("stdout.txt").string()) + " 2> " + quote(path("stderr.txt").string());
        const int raw = std::system(cmd.c_str());
        RunResult r;
        // The shell reports a child killed by a signal as 128 + signal.
        if (WIFEXITED(raw) && WEXITSTATUS(raw) < 128) r.status = WEXITSTATUS(raw);
        r.out = slurp(path("stdout.txt"));
        r.err = slurp(path("stderr.txt"));
        return r;
    }

    RunResult encode(const std::string& text, int baud, const std::string& out, const std::string& extra = "") const {
        return modem("encode --speed " + std::to_string(baud) + " --text " + quote(text) + " -o " + quote(out) + " " + extra);
    }

    void sox(const std::string& args) const {
        ASSERT_EQ(std::system((std::string(SOX_EXE) + " " + args + " 2>/dev/null").c_str()), 0) << args;
    }

    // Writes samples to a file of any libsndfile format.
    void writeAudio(const fs::path& p, const std::vector<std::int16_t>& samples, int rate, int channels,
                    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) const {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = channels;
        info.format = format;
        SNDFILE* f = sf_open(p.c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
        sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
        sf_close(f);
    }

    fs::path dir_;
};

bool isOneLineError(const RunResult& r) {
    return r.status > 0 && r.out.empty() && r.err.rfind("vantrel-modem: ", 0) == 0 &&
           r.err.find('\n') == r.err.size() - 1;
}

// What the standard receiver printed for the weak recording of the receiver-choice test.
const std::string kStandardCopyOfWeak = "a reonir=neiate   ttoD2!= be BA2C qt    ";

const std::string kText = "Hi Pat, rig is 100 W into a dipole; WX sunny & 21 C. 73!";

TEST_F(Cli, RoundTripThroughWavFilesAtEverySpeed) {
    for (int baud : {4, 5, 8, 11, 16, 22}) {
        const std::string wav = path("x" + std::to_string(baud) + ".wav").string();
        const RunResult enc = encode(kText, baud, wav, "--call DL2XYZ");
        ASSERT_EQ(enc.status, 0) << enc.err;
        EXPECT_TRUE(enc.out.empty() && enc.err.empty());

        SF_INFO info{};
        SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        sf_close(f);
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        EXPECT_EQ(info.frames % 8192, 0);

        const RunResult dec = modem("decode " + quote(wav) + " --speed " + std::to_string(baud));
        ASSERT_EQ(dec.status, 0) << dec.err;
        // Line ends come out as newlines, without carriage returns.
        EXPECT_NE(dec.out.find("\nDL2XYZ: " + kText + " "), std::string::npos) << baud << " baud: " << dec.out;
        EXPECT_EQ(dec.out.find('\r'), std::string::npos);
        EXPECT_TRUE(dec.err.empty()) << dec.err;
    }
}

TEST_F(Cli, EncoderOptionsShapeTheFile) {
    const std::string a = path("a.wav").string(), b = path("b.wav").string(), c = path("c.wav").string();
    ASSERT_EQ(encode("abc", 16, a).status, 0);
    ASSERT_EQ(encode("abc", 16, b, "--no-lead-in").status, 0);
    SF_INFO ia{}, ib{};
    sf_close(sf_open(a.c_str(), SFM_READ, &ia));
    sf_close(sf_open(b.c_str(), SFM_READ, &ib));
    EXPECT_EQ(ia.samplerate, 16000);
    EXPECT_EQ(ia.frames, ib.frames + 2 * 8192);

    // Text from standard input: the final newline is not sent.
    const std::string typed = "hello there\n";
    ASSERT_EQ(modem("encode --speed 22 --freq 1500 -o " + quote(c), &typed).status, 0);
    const RunResult dec = modem("decode " + quote(c) + " --speed 22 --freq 1500");
    EXPECT_NE(dec.out.find("\nnocall: hello there "), std::string::npos) << dec.out;

    // Mistuned by 400 Hz the text is gone.
    const RunResult off = modem("decode " + quote(c) + " --speed 22 --freq 1100");
    EXPECT_EQ(off.out.find("hello there"), std::string::npos) << off.out;
}

TEST_F(Cli, IdleTextGoesToStandardErrorOnlyWhenAsked) {
    // A station between transmissions: nothing typed, only its call sign as idle text.
    vantrel::modem::TxModulator tx;
    tx.setProfile(*vantrel::modem::profileByBaud(11));
    tx.setIdleText("G4ABC ");
    std::vector<std::int16_t> samples;
    std::array<std::int16_t, vantrel::modem::kBlockLength> block{};
    for (int i = 0; i < 12; ++i) {
        tx.renderTxBlock(block);
        samples.insert(samples.end(), block.begin(), block.end());
    }
    writeAudio(path("idle.wav"), samples, 11025, 1);

    const RunResult quiet = modem("decode " + quote(path("idle.wav").string()));
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;
    const RunResult shown = modem("decode " + quote(path("idle.wav").string()) + " --idle");
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.err.find("G4ABC G4ABC"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.out.find("G4ABC"), std::string::npos) << shown.out;
}

// A weak station after a few seconds of band noise: Sensitive receive, the default, copies its
// call sign; --standard is still the standard receiver, character for character as it decoded
// this recording before Sensitive receive became the default.
TEST_F(Cli, SensitiveReceiveIsTheDefaultAndStandardStaysAsItWas) {
    const std::string clean = path("clean.wav").string();
    ASSERT_EQ(encode("CQ CQ de DL1ABC pse k", 11, clean, "--call DL1ABC --no-lead-in").status, 0);
    SF_INFO info{};
    SNDFILE* f = sf_open(clean.c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<std::int16_t> signal(static_cast<std::size_t>(info.frames));
    sf_readf_short(f, signal.data(), info.frames);
    sf_close(f);

    // -8 dB in 2500 Hz: the signal at a fifth of its level, uniform noise of the matching power.
    double power = 0;
    for (std::int16_t v : signal) power += 0.04 * v * v;
    power /= static_cast<double>(signal.size());
    const double noiseRms = std::sqrt(power / std::pow(10.0, -0.8) / (2500.0 / (11025 / 2.0)));
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> uniform(-noiseRms * std::sqrt(3.0), noiseRms * std::sqrt(3.0));
    std::vector<std::int16_t> noisy(3 * 11025 + 4321, 0);
    for (std::int16_t v : signal) noisy.push_back(static_cast<std::int16_t>(std::lrint(0.2 * v)));
    for (auto& v : noisy) v = static_cast<std::int16_t>(std::clamp(std::lrint(v + uniform(rng)), -32768L, 32767L));
    writeAudio(path("weak.wav"), noisy, 11025, 1);
    const std::string weak = quote(path("weak.wav").string()) + " --squelch 1";

    const RunResult byDefault = modem("decode " + weak);
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_NE(byDefault.out.find("DL1ABC: CQ"), std::string::npos) << byDefault.out;
    EXPECT_EQ(modem("decode " + weak + " --sensitive").out, byDefault.out);
    EXPECT_EQ(modem("decode " + weak + " --standard").out, kStandardCopyOfWeak);
}

TEST_F(Cli, OtherRatesFormatsAndStereo) {
    const std::string mono = path("mono.wav").string();
    ASSERT_EQ(encode(kText, 11, mono, "--call N0CALL").status, 0);
    // Stereo at 48 kHz, signal on the left, silence on the right, and the other way round;
    // FLAC at 44.1 kHz; 8 kHz float; the decoder takes the channel carrying the signal and
    // converts the rate.
    const std::string silent = path("silent.wav").string();
    sox("-n -r 11025 -c 1 -b 16 " + quote(silent) + " trim 0 1");
    sox("-M " + quote(mono) + " " + quote(silent) + " -r 48000 " + quote(path("stereo48k.wav").string()));
    sox("-M " + quote(silent) + " " + quote(mono) + " -r 48000 " + quote(path("right48k.wav").string()));
    sox(quote(mono) + " -r 44100 -c 2 " + quote(path("x44k.flac").string()));
    sox(quote(mono) + " -r 22050 -e floating-point -b 32 " + quote(path("float22k.wav").string()));
    for (const char* name : {"stereo48k.wav", "right48k.wav", "x44k.flac", "float22k.wav"}) {
        const RunResult dec = modem("decode " + quote(path(name).string()) + " --speed 11");
        EXPECT_EQ(dec.status, 0) << name << ": " << dec.err;
        EXPECT_NE(dec.out.find("\nN0CALL: " + kText + " "), std::string::npos) << name << ": " << dec.out;
    }
}

TEST_F(Cli, BadInputGivesOneLineErrorAndFailure) {
    std::ofstream(path("empty.wav"));
    std::ofstream(path("notes.txt")) << "this is not audio\n";
    writeAudio(path("one.wav"), {1234}, 11025, 1);
    writeAudio(path("none.wav"), {}, 11025, 1);
    const std::string wav = path("ok.wav").string();
    ASSERT_EQ(encode("x", 11, wav).status, 0);

    const std::vector<std::string> cases = {
        "decode " + quote(path("missing.wav").string()),
        "decode " + quote(path("empty.wav").string()),
        "decode " + quote(path("notes.txt").string()),
        "decode " + quote(path("one.wav").string()),
        "decode " + quote(path("none.wav").string()),
        "decode " + quote(dir_.string()),
        "decode",
        "decode " + quote(wav) + " --speed 7",
        "decode " + quote(wav) + " --speed fast",
        "decode " + quote(wav) + " --speed",
        "decode " + quote(wav) + " --bogus",
        "decode " + quote(wav) + " " + quote(wav),
        "decode " + quote(wav) + " --attack quick",
        "decode " + quote(wav) + " --squelch loud",
        "decode " + quote(wav) + " --freq 3000",
        "decode " + quote(wav) + " --idle=yes",
        "encode --text hi",
        "encode --speed 12 --text hi -o " + quote(path("y.wav").string()),
        "encode --text hi --call '' -o " + quote(path("y.wav").string()),
        "encode --text hi -o " + quote((dir_ / "no-such-dir" / "y.wav").string()),
        "encode --text",
        "browse",
        "browse " + quote(wav) + " --json=yes",
        "browse " + quote(wav) + " --speed 9",
        "browse " + quote(wav) + " --freq 1000",
        "",
        "transmit",
    };
    for (const auto& args : cases) {
        const RunResult r = modem(args);
        EXPECT_TRUE(isOneLineError(r)) << "vantrel-modem " << args << "\nstatus " << r.status << "\nstderr: " << r.err
                                       << "\nstdout: " << r.out;
    }
}

TEST_F(Cli, HelpIsAvailableEverywhere) {
    for (const char* args : {"--help", "encode --help", "decode --help", "decode -h", "encode --speed 4 -h", "browse --help"}) {
        const RunResult r = modem(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_NE(r.out.find("Usage: vantrel-modem"), std::string::npos) << args;
        EXPECT_TRUE(r.err.empty()) << args;
    }
}

// Whatever the audio, decoding finishes normally: success or a one-line error, never a crash.
TEST_F(Cli, HostileAudioNeverCrashesTheDecoder) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> any(-32768, 32767);
    const int rate = 11025;
    std::vector<std::int16_t> noise(static_cast<std::size_t>(rate) * 6), silence(noise.size(), 0),
        clipped(noise.size()), offset(noise.size(), 20000);
    for (auto& v : noise) v = static_cast<std::int16_t>(any(rng));
    for (std::size_t i = 0; i < clipped.size(); ++i)
        clipped[i] = static_cast<std::int16_t>(std::sin(i * 0.6) > 0 ? 32767 : -32768);
    writeAudio(path("noise.wav"), noise, rate, 1);
    writeAudio(path("silence.wav"), silence, rate, 1);
    writeAudio(path("clipped.wav"), clipped, rate, 1);
    writeAudio(path("offset.wav"), offset, rate, 1);
    writeAudio(path("noise-stereo-8k.wav"), noise, 8000, 2);
    writeAudio(path("none.wav"), {}, rate, 1);
    writeAudio(path("one.wav"), {-32768}, rate, 1);
    writeAudio(path("short.wav"), std::vector<std::int16_t>(3000, 32767), 96000, 1);
    // A recording cut off in the middle: its header promises more than the file holds.
    writeAudio(path("whole.wav"), noise, rate, 1);
    fs::copy_file(path("whole.wav"), path("truncated.wav"));
    fs::resize_file(path("truncated.wav"), fs::file_size(path("whole.wav")) / 3 + 1);
    // A float file may hold values far past full scale.
    {
        SF_INFO info{};
        info.samplerate = rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        SNDFILE* f = sf_open(path("loud-float.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        std::vector<float> loud(static_cast<std::size_t>(rate) * 3);
        for (std::size_t i = 0; i < loud.size(); ++i) loud[i] = (i % 3 == 0) ? 1e30f : -4.0f;
        sf_write_float(f, loud.data(), static_cast<sf_count_t>(loud.size()));
        sf_close(f);
    }

    for (const char* name : {"noise.wav", "silence.wav", "clipped.wav", "offset.wav", "noise-stereo-8k.wav",
                             "none.wav", "one.wav", "short.wav", "loud-float.wav", "truncated.wav"}) {
        for (const char* opts : {"decode --speed 4 --squelch 1 --idle --standard", "decode --speed 22 --attack fast --idle",
                                 "decode --speed 11 --freq 0 --squelch 1 --standard", "browse --speed 5 --squelch 1 --json"}) {
            const RunResult r = modem(std::string(opts).insert(7, quote(path(name).string()) + " "));
            EXPECT_TRUE(r.status == 0 || isOneLineError(r)) << name << " " << opts << ": status " << r.status
                                                             << ", stderr " << r.err;
        }
    }
}

// The signal browser over a busy band: four stations of one speed at different tuning
// frequencies (a few hertz off), 0 to +10 dB apart, starting one after another, the weakest 6 dB
// above the level where an ideal detector makes 1% character errors. Each is listed once, at
// its F within 1.5 tone spacings, with its call and its text; band noise alone lists nothing.
TEST_F(Cli, BrowseListsEveryStationOfABusyBandOnce) {
    struct Station {
        const char* call;
        const char* text;
        double offsetHz, levelDb, startS;
    };
    const Station stations[] = {{"DL1ABC", "CQ CQ de DL1ABC, the band is open this morning, anyone for a chat? K", 3, 0, 0.5},
                                {"G4XYZ", "Good evening from Kent, your signal is fine and the name here is Ann. BK", -4, 6, 2.5},
                                {"F5QRS", "Rig is 50 W into a loop on the balcony, WX cloudy with light rain. 73", 5, 3, 4.5},
                                {"OH2LMN", "Testing a new antenna, please report my signal, thanks in advance. SK", -2, 10, 6.5}};
    struct Case {
        int baud;
        double onePercentDb;
        std::array<int, 4> tuning;
    };
    for (const Case& c : {Case{11, -11.8, {400, 900, 1400, 1900}}, Case{22, -8.9, {157, 784, 1410, 2037}}}) {
        const vantrel::modem::ModeProfile& p = *vantrel::modem::profileByBaud(c.baud);
        const std::string air = path("band" + std::to_string(c.baud) + ".wav").string();
        std::string band = std::string(VANTREL_BAND_EXE) + " --rate " + std::to_string(p.sampleRate) + " --seed 5 -o " + quote(air);
        for (std::size_t i = 0; i < std::size(stations); ++i) {
            const Station& s = stations[i];
            const std::string wav = path(std::string(s.call) + ".wav").string();
            ASSERT_EQ(encode(s.text, c.baud, wav, "--no-lead-in --call " + std::string(s.call) + " --freq " + std::to_string(c.tuning[i])).status, 0);
            band += " --station " + quote(wav) + " --at " + std::to_string(s.startS) + " --offset " + std::to_string(s.offsetHz) +
                    " --snr " + std::to_string(c.onePercentDb + 6 + s.levelDb);
        }
        ASSERT_EQ(std::system(band.c_str()), 0);
        const RunResult r = modem("browse --json --speed " + std::to_string(c.baud) + " " + quote(air));
        ASSERT_EQ(r.status, 0) << r.err;
        const nlohmann::json listed = nlohmann::json::parse(r.out);
        ASSERT_EQ(listed.size(), std::size(stations)) << r.out;
        for (std::size_t i = 0; i < std::size(stations); ++i) {
            const nlohmann::json& got = listed[i];  // lowest frequency first, as they were placed
            const std::string sent = std::string(stations[i].call) + ": " + stations[i].text;
            EXPECT_NEAR(got["frequency"].get<double>(), c.tuning[i], 1.5 * vantrel::modem::toneSpacing(p)) << c.baud << " baud " << got;
            EXPECT_EQ(got["call"], stations[i].call) << c.baud << " baud " << got;
            EXPECT_LE(vantrel::testsupport::characterErrorRate(sent, got["text"].get<std::string>()), 0.02) << c.baud << " baud " << got;
        }

        const std::string noise = path("noise" + std::to_string(c.baud) + ".wav").string();
        ASSERT_EQ(std::system((std::string(VANTREL_BAND_EXE) + " --rate " + std::to_string(p.sampleRate) + " --seconds 40 -o " + quote(noise)).c_str()), 0);
        EXPECT_EQ(modem("browse --json --speed " + std::to_string(c.baud) + " " + quote(noise)).out, "[]\n");
    }
}

}  // namespace
