// Where the program finds the files installed with it, and the folder it works in when the
// desktop menu starts it. The installed files are found from the running program's own place
// (bin/../share/...), so a Debian package, a /usr/local install and a private prefix all work.
// Call after the QApplication exists.
#pragma once

#include <QString>

#include <filesystem>

namespace vantrel::app {

// The installed help page, or empty when the program does not run from an installation.
QString installedHelpPage();
// The installed folder holding the sample recording (share/vantrel-chat), or empty.
QString installedDataFolder();
// The keying guardian beside the running program (installed or in the build tree), or empty.
QString keyingGuardianProgram();

// The working folder for a start from the desktop menu: $XDG_DATA_HOME/vantrel-chat, or
// ~/.local/share/vantrel-chat where XDG_DATA_HOME is unset or not an absolute path. Empty when
// neither that nor HOME gives a place. Needs no QApplication.
std::filesystem::path menuWorkDirectory();

}  // namespace vantrel::app
