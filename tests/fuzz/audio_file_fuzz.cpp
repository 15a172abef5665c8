// Any bytes as the audio file of "vantrel-modem decode": either the file decodes (to whatever
// text) or the tool says what is wrong in one line and ends with the file error status; never a
// crash. Files whose audio would take more than a few passes go through the reader alone, with
// the samples it gives capped, so every input's work is bounded.
// The first input byte picks the speed and the receiver; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/audio_file.h"
#include "cli/modem_cli.h"
#include "fuzz_check.h"
#include "modem/mode_profile.h"

using namespace vantrel;

namespace {

constexpr long long kMaxDecodedSamples = 12 * modem::kBlockLength;

const std::string& scratchPath() {
    static const std::string path = "/tmp/vantrel-fuzz-audio-" + std::to_string(::getpid()) + ".bin";
    return path;
}

bool oneLine(const std::string& text) {
    return !text.empty() && text.find('\n') == text.size() - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || size > 64 * 1024) return 0;
    static const int kBauds[] = {4, 5, 8, 11, 16, 22};
    const int baud = kBauds[(data[0] & 0x7F) % 6];
    const bool standard = (data[0] & 0x80) != 0;
    const std::string& path = scratchPath();
    {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    const modem::ModeProfile& profile = *modem::profileByBaud(baud);

    cli::AudioInput probe;
    if (!probe.open(path, profile.sampleRate)) {
        FUZZ_CHECK(!probe.error().empty() && probe.error().find('\n') == std::string::npos, "open error not one line");
        FUZZ_CHECK(probe.next().empty(), "samples from a file that did not open");
    } else if (probe.frames() > 0 &&
               static_cast<double>(probe.frames()) * profile.sampleRate / probe.fileRate() > kMaxDecodedSamples) {
        // Too long to decode here: the reader alone, its output capped.
        long long samples = 0;
        for (auto chunk = probe.next(); !chunk.empty() && samples < kMaxDecodedSamples; chunk = probe.next())
            samples += static_cast<long long>(chunk.size());
        FUZZ_CHECK(probe.error().find('\n') == std::string::npos, "read error not one line");
        return 0;
    }

    std::vector<std::string> args{"decode", "--speed", std::to_string(baud), path};
    args.insert(args.begin() + 1, standard ? "--standard" : "--sensitive");
    std::istringstream none;
    std::ostringstream out, err;
    const int status = cli::runModemCli(args, none, out, err);
    FUZZ_CHECK(status == 0 || status == 1, "decode ended with a status other than success or file error");
    if (status == 1) {
        FUZZ_CHECK(err.str().starts_with("vantrel-modem: ") || err.str().starts_with("\nvantrel-modem: "),
                   "file error without the tool's message");
        const std::string message = err.str().starts_with("\n") ? err.str().substr(1) : err.str();
        FUZZ_CHECK(oneLine(message), "file error is not one line");
    } else {
        // Success says nothing, except which channel of several it read.
        const std::string note = err.str();
        FUZZ_CHECK(note.empty() || (note.starts_with("vantrel-modem: reading channel ") && oneLine(note)),
                   "success with an error message");
    }
    return 0;
}
