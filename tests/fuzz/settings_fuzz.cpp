// Any bytes as "Settings.ini": the record read from them formats to a file that reads back to
// the same record (read, write, read is a fixed point), and the written file is always whole
// CR LF lines, the same number of them, with nothing a text field cannot carry.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "fuzz_check.h"

using vantrel::app::AppSettings;
using vantrel::app::formatSettings;
using vantrel::app::parseSettings;

namespace {

int lineCount(std::string_view file) {
    int lines = 0;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] == '\r') {
            FUZZ_CHECK(i + 1 < file.size() && file[i + 1] == '\n', "CR without LF");
            ++lines;
        } else if (file[i] == '\n') {
            FUZZ_CHECK(i > 0 && file[i - 1] == '\r', "LF without CR");
        }
    }
    FUZZ_CHECK(file.ends_with("\r\n"), "last line not ended");
    return lines;
}

void checkTextLine(std::string_view file, std::string_view text) {
    const std::string line = "\"" + vantrel::app::settingsTextOnly(text) + "\"\r\n";
    FUZZ_CHECK(file.find(line) != std::string_view::npos, "text field not written as one quoted line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const int kLines = lineCount(formatSettings(AppSettings{}));
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const AppSettings first = parseSettings(input);
    const std::string file = formatSettings(first);
    FUZZ_CHECK(lineCount(file) == kLines, "written file has a different number of lines");
    for (const std::string* text : {&first.callsign, &first.pttMethod, &first.radioAddress, &first.txCommandText,
                                    &first.rxCommandText, &first.commandKind, &first.portDevice})
        checkTextLine(file, *text);

    const AppSettings second = parseSettings(file);
    FUZZ_CHECK(second == first, "record read back from the written file differs");
    FUZZ_CHECK(formatSettings(second) == file, "writing the read-back record gives another file");
    return 0;
}
