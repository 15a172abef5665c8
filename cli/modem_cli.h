// vantrel-modem: the modem core on audio files. The whole program behind main(), so tests can
// run it with their own streams.
#pragma once

#include <iosfwd>
#include <span>
#include <string>

namespace vantrel::cli {

// args excludes the program name. Returns the process exit status: 0 on success, 1 when a file
// cannot be read or written, 2 for a usage error.
int runModemCli(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vantrel::cli
