#include "modem_cli.h"

#include <charconv>
#include <cmath>
#include <istream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string_view>

#include "audio_file.h"
#include "band_browser.h"
#include "block_receiver.h"
#include "modem/mode_profile.h"
#include "modem/rx_decoder.h"
#include "transmission.h"

namespace vantrel::cli {
namespace {

constexpr int kUsageError = 2;
constexpr int kFileError = 1;

constexpr std::string_view kMainHelp =
    "Usage: vantrel-modem COMMAND [OPTIONS]\n"
    "The Vantrel Chat modem on audio files.\n"
    "\n"
    "Commands:\n"
    "  encode   turn a line of text into the audio of one transmission (WAV)\n"
    "  decode   print the text received from an audio file\n"
    "  browse   list every station in the passband of an audio file, with its text\n"
    "\n"
    "Run 'vantrel-modem COMMAND --help' for the options of a command.\n";

constexpr std::string_view kEncodeHelp =
    "Usage: vantrel-modem encode [--speed BAUD] [--call CALL] [--freq HZ] [--text TEXT]\n"
    "                            [--no-lead-in] -o OUT.wav\n"
    "Writes the audio the chat window plays for one SEND from a fresh start, as 16-bit mono\n"
    "WAV at the speed's sample rate: two blocks of silence, then the transmission up to the\n"
    "point where it returns to receive.\n"
    "\n"
    "  --speed BAUD   4, 5, 8, 11, 16 or 22 (default 11)\n"
    "  --call CALL    call sign sent before the text and as idle text (default nocall)\n"
    "  --freq HZ      tuning frequency, 0..2500 (default 1000)\n"
    "  --text TEXT    the text to send; without it, standard input is read (one final\n"
    "                 newline is dropped, every other byte is sent as it is)\n"
    "  --no-lead-in   leave out the two blocks of silence\n"
    "  -o, --output   the WAV file to write\n";

constexpr std::string_view kDecodeHelp =
    "Usage: vantrel-modem decode IN [--speed BAUD] [--freq HZ] [--squelch N]\n"
    "                            [--attack fast|med|slow] [--idle] [--standard]\n"
    "Runs the chat window's receiver over an audio file (any format, rate and channel count\n"
    "that libsndfile reads; of several channels, the one carrying the most signal is read and\n"
    "named on standard error; - reads a WAV stream from standard input) and prints the\n"
    "received text as it comes. Line ends are printed as newlines.\n"
    "\n"
    "  --speed BAUD    4, 5, 8, 11, 16 or 22 (default 11)\n"
    "  --freq HZ       tuning frequency, 0..2500 (default 1000)\n"
    "  --squelch N     squelch trigger level, at least 1 (default 15)\n"
    "  --attack A      squelch attack: fast, med or slow (default med)\n"
    "  --idle          print the idle text (call signs between transmissions) on standard error\n"
    "  --standard      the standard receiver instead of Sensitive receive, the default\n"
    "                  (--sensitive is accepted and changes nothing)\n";

constexpr std::string_view kBrowseHelp =
    "Usage: vantrel-modem browse IN [--speed BAUD] [--squelch N] [--json]\n"
    "Runs the chat window's signal browser over an audio file (as decode reads it): receivers\n"
    "across the whole passband copy every station at once. Prints one line per station, lowest\n"
    "frequency first: the tuning frequency that reaches it (Hz), its call sign (- when none was\n"
    "heard), its S/N reading and everything it sent, line breaks written as \\n.\n"
    "\n"
    "  --speed BAUD    4, 5, 8, 11, 16 or 22 (default 11)\n"
    "  --squelch N     squelch trigger level of every receiver, at least 1 (default 15)\n"
    "  --json          one JSON array instead: objects with \"frequency\" (Hz), \"call\",\n"
    "                  \"snr\", \"heard\" (seconds into the file it was last heard) and \"text\"\n";

struct UsageError {
    std::string message;
};

// Walks the arguments of one command; "--name value" and "--name=value" are both accepted.
class ArgWalker {
public:
    explicit ArgWalker(std::span<const std::string> args) : args_(args) {}

    bool done() const { return pos_ >= args_.size(); }

    // The next argument; for "--name=value" only the name, with the value kept for value().
    std::string_view take() {
        std::string_view a = args_[pos_++];
        inlineValue_.reset();
        if (a.starts_with("--")) {
            if (const auto eq = a.find('='); eq != std::string_view::npos) {
                inlineValue_ = a.substr(eq + 1);
                return a.substr(0, eq);
            }
        }
        return a;
    }

    std::string_view value(std::string_view option) {
        if (inlineValue_) {
            const std::string_view v = *inlineValue_;
            inlineValue_.reset();
            return v;
        }
        if (done()) throw UsageError{"option " + std::string(option) + " needs a value"};
        return args_[pos_++];
    }

    void noValue(std::string_view option) const {
        if (inlineValue_) throw UsageError{"option " + std::string(option) + " takes no value"};
    }

private:
    std::span<const std::string> args_;
    std::size_t pos_ = 0;
    std::optional<std::string_view> inlineValue_;
};

int parseInt(std::string_view text, std::string_view option) {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty())
        throw UsageError{"option " + std::string(option) + ": '" + std::string(text) + "' is not a whole number"};
    return v;
}

const modem::ModeProfile& parseSpeed(std::string_view text) {
    const int baud = parseInt(text, "--speed");
    const modem::ModeProfile* p = modem::profileByBaud(baud);
    if (!p) throw UsageError{"there is no " + std::string(text) + " baud speed (choose 4, 5, 8, 11, 16 or 22)"};
    return *p;
}

int parseFrequency(std::string_view text) {
    const int hz = parseInt(text, "--freq");
    if (hz < modem::kMinTuningFrequency || hz > modem::kMaxTuningFrequency)
        throw UsageError{"--freq must lie within 0..2500 Hz"};
    return hz;
}

int parseSquelch(std::string_view text) {
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(v) || text.empty())
        throw UsageError{"option --squelch: '" + std::string(text) + "' is not a number"};
    return modem::squelchLevelFromEntry(std::clamp(v, -1.0e6, 1.0e6));
}

int parseAttack(std::string_view text) {
    if (text == "fast") return 0;
    if (text == "med") return 1;
    if (text == "slow") return 3;
    throw UsageError{"--attack must be fast, med or slow"};
}

[[noreturn]] void unknownOption(std::string_view a) {
    throw UsageError{"unknown option '" + std::string(a) + "'"};
}

std::string readAll(std::istream& in) {
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (text.ends_with('\n')) {
        text.pop_back();
        if (text.ends_with('\r')) text.pop_back();
    }
    return text;
}

int runEncode(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err) {
    const modem::ModeProfile* profile = &modem::defaultProfile();
    TransmitRequest request;
    std::optional<std::string> text;
    std::string output;
    ArgWalker w(args);
    while (!w.done()) {
        const std::string_view a = w.take();
        if (a == "-h" || a == "--help") {
            out << kEncodeHelp;
            return 0;
        } else if (a == "--speed") {
            profile = &parseSpeed(w.value(a));
        } else if (a == "--call") {
            request.callsign = w.value(a);
            if (request.callsign.empty()) throw UsageError{"--call must not be empty"};
        } else if (a == "--freq") {
            request.tuningFrequency = parseFrequency(w.value(a));
        } else if (a == "--text") {
            text = std::string(w.value(a));
        } else if (a == "-o" || a == "--output") {
            output = w.value(a);
        } else if (a == "--no-lead-in") {
            w.noValue(a);
            request.leadIn = false;
        } else {
            unknownOption(a);
        }
    }
    if (output.empty()) throw UsageError{"encode needs an output file: -o OUT.wav"};
    request.text = text ? *text : readAll(in);

    WavOutput wav;
    if (!wav.open(output, profile->sampleRate)) {
        err << "vantrel-modem: " << wav.error() << '\n';
        return kFileError;
    }
    renderTransmission(*profile, request, [&](std::span<const std::int16_t> block) { wav.write(block); });
    if (!wav.close()) {
        err << "vantrel-modem: " << output << ": " << wav.error() << '\n';
        return kFileError;
    }
    return 0;
}

// Opens a recording to receive from; says why not on `err`.
bool openReceived(AudioInput& audio, const std::string& input, const modem::ModeProfile& profile, std::ostream& err) {
    if (!audio.open(input, profile.sampleRate)) {
        err << "vantrel-modem: " << audio.error() << '\n';
        return false;
    }
    if (audio.frames() <= 0) {
        err << "vantrel-modem: " << input << " holds no audio\n";
        return false;
    }
    // Anything shorter than one symbol cannot carry a character.
    const double converted = static_cast<double>(audio.frames()) * profile.sampleRate / audio.fileRate();
    if (converted < modem::symbolLength(profile)) {
        err << "vantrel-modem: " << input << " is too short to hold a signal (" << audio.frames() << " samples)\n";
        return false;
    }
    return true;
}

int runDecode(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    const modem::ModeProfile* profile = &modem::defaultProfile();
    ReceiveOptions options;
    options.rx.sensitive = true;  // as the chat window receives unless the operator turns it off
    bool showIdle = false;
    std::optional<std::string> input;
    ArgWalker w(args);
    while (!w.done()) {
        const std::string_view a = w.take();
        if (a == "-h" || a == "--help") {
            out << kDecodeHelp;
            return 0;
        } else if (a == "--speed") {
            profile = &parseSpeed(w.value(a));
        } else if (a == "--freq") {
            options.rx.tuningFrequency = parseFrequency(w.value(a));
        } else if (a == "--squelch") {
            options.squelchLevel = parseSquelch(w.value(a));
        } else if (a == "--attack") {
            options.rx.squelchAttack = parseAttack(w.value(a));
        } else if (a == "--idle") {
            w.noValue(a);
            showIdle = true;
        } else if (a == "--sensitive" || a == "--standard") {
            w.noValue(a);
            options.rx.sensitive = a == "--sensitive";
        } else if (a.size() > 1 && a.starts_with('-')) {
            unknownOption(a);
        } else if (input) {
            throw UsageError{"decode reads one file, not '" + std::string(a) + "' as well"};
        } else {
            input = std::string(a);
        }
    }
    if (!input) throw UsageError{"decode needs an audio file to read"};

    AudioInput audio;
    if (!openReceived(audio, *input, *profile, err)) return kFileError;

    if (audio.channels() > 1)
        err << "vantrel-modem: reading channel " << audio.channel() << " of " << audio.channels()
            << " (the one carrying the most signal)\n";

    BlockReceiver receiver(*profile, options);
    std::string line;
    receiver.setPassHandler([&](const modem::DecodedChars& chars) {
        line.clear();
        for (std::uint8_t c : chars.primaryText())
            if (c != '\r') line.push_back(static_cast<char>(c));
        if (!line.empty()) out.write(line.data(), static_cast<std::streamsize>(line.size())).flush();
        if (showIdle && chars.secondaryCount > 0) {
            line.assign(chars.secondaryText().begin(), chars.secondaryText().end());
            err.write(line.data(), static_cast<std::streamsize>(line.size())).flush();
        }
    });
    for (auto chunk = audio.next(); !chunk.empty(); chunk = audio.next()) receiver.feed(chunk);
    receiver.finish();
    out.flush();
    if (!audio.error().empty()) {
        err << "\nvantrel-modem: " << *input << ": " << audio.error() << '\n';
        return kFileError;
    }
    return 0;
}

int runBrowse(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    const modem::ModeProfile* profile = &modem::defaultProfile();
    int squelch = 15;
    bool json = false;
    std::optional<std::string> input;
    ArgWalker w(args);
    while (!w.done()) {
        const std::string_view a = w.take();
        if (a == "-h" || a == "--help") {
            out << kBrowseHelp;
            return 0;
        } else if (a == "--speed") {
            profile = &parseSpeed(w.value(a));
        } else if (a == "--squelch") {
            squelch = parseSquelch(w.value(a));
        } else if (a == "--json") {
            w.noValue(a);
            json = true;
        } else if (a.size() > 1 && a.starts_with('-')) {
            unknownOption(a);
        } else if (input) {
            throw UsageError{"browse reads one file, not '" + std::string(a) + "' as well"};
        } else {
            input = std::string(a);
        }
    }
    if (!input) throw UsageError{"browse needs an audio file to read"};

    AudioInput audio;
    if (!openReceived(audio, *input, *profile, err)) return kFileError;
    BandBrowser browser(*profile, squelch);
    for (auto chunk = audio.next(); !chunk.empty(); chunk = audio.next()) browser.feed(chunk);
    if (!audio.error().empty()) {
        err << "vantrel-modem: " << *input << ": " << audio.error() << '\n';
        return kFileError;
    }
    browser.finish();
    out << (json ? stationsJson(browser.stations()) : stationLines(browser.stations()));
    out.flush();
    return 0;
}

}  // namespace

int runModemCli(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err) {
    try {
        if (args.empty()) throw UsageError{"no command given (encode, decode or browse); try --help"};
        const std::string_view command = args[0];
        const auto rest = args.subspan(1);
        if (command == "-h" || command == "--help" || command == "help") {
            out << kMainHelp;
            return 0;
        }
        if (command == "encode") return runEncode(rest, in, out, err);
        if (command == "decode") return runDecode(rest, out, err);
        if (command == "browse") return runBrowse(rest, out, err);
        throw UsageError{"unknown command '" + std::string(command) + "' (encode, decode or browse); try --help"};
    } catch (const UsageError& e) {
        err << "vantrel-modem: " << e.message << '\n';
        return kUsageError;
    }
}

}  // namespace vantrel::cli
