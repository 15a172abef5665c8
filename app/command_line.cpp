#include "app/command_line.h"

#include <string_view>

namespace vantrel::app {

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
