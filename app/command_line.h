// vantrel-chat's own command-line options. Qt's options (-platform, -display, -style, ...) are
// left for Qt. Plain C++, so it is tested on its own.
#pragma once

#include <string>
#include <vector>

namespace vantrel::app {

inline constexpr const char* kChatUsage =
    "Usage: vantrel-chat [--play FILE] [--speed BAUD] [--browser] [--from-menu] [Qt options]\n"
    "Keyboard-to-keyboard chat terminal for amateur radio in the Vantrel mode.\n"
    "\n"
    "  --play FILE    play an audio file into the receiver instead of the sound card's input\n"
    "                 (any format libsndfile reads); the input opens when it has ended\n"
    "  --speed BAUD   start at 4, 5, 8, 11, 16 or 22 baud instead of 11\n"
    "  --browser      open the signal browser at start\n"
    "  --from-menu    work in $XDG_DATA_HOME/vantrel-chat (default ~/.local/share/vantrel-chat)\n"
    "                 instead of the current folder, as the desktop menu entry does\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Settings.ini, the saved receive texts and the help page live in the working folder.\n";

struct ChatOptions {
    std::string play;       // empty: the sound card from the start
    int speed = 0;          // baud to start at; 0: the usual 11
    bool browser = false;   // the signal browser opened at start
    bool fromMenu = false;
    bool help = false;
    bool version = false;
    std::string error;      // set when the command line cannot be used
};

// Reads argv[1..]; arguments that do not begin with "--" (Qt's own) are passed over.
ChatOptions parseChatOptions(const std::vector<std::string>& args);

}  // namespace vantrel::app
