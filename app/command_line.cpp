#include "app/command_line.h"

#include <string_view>

namespace vantrel::app {
namespace {

int speedFromText(const std::string& text) {
    for (int baud : {4, 5, 8, 11, 16, 22})
        if (text == std::to_string(baud)) return baud;
    return 0;
}

}  // namespace

ChatOptions parseChatOptions(const std::vector<std::string>& args) {
    ChatOptions options;
    for (std::size_t i = 0; i < args.size() && options.error.empty(); ++i) {
        const std::string_view a = args[i];
        if (a == "-h" || a == "--help") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--from-menu") {
            options.fromMenu = true;
        } else if (a == "--browser") {
            options.browser = true;
        } else if (a == "--speed" || a.starts_with("--speed=")) {
            const std::string value = a == "--speed" ? (i + 1 < args.size() ? args[++i] : std::string()) : std::string(a.substr(8));
            options.speed = speedFromText(value);
            if (options.speed == 0) options.error = "--speed must be 4, 5, 8, 11, 16 or 22";
        } else if (a == "--play") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                options.error = "--play needs the audio file to play";
            else
                options.play = args[++i];
        } else if (a.starts_with("--play=")) {
            options.play = a.substr(7);
            if (options.play.empty()) options.error = "--play needs the audio file to play";
        } else if (a.starts_with("--")) {
            options.error = "unknown option '" + std::string(a) + "'";
        }
    }
    return options;
}

}  // namespace vantrel::app
