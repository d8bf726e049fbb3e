#pragma once

#include <string>
#include <vector>

namespace quillon {

// The configuration file named on the command line.
struct StartupConfig {
    bool Given = false;  // at least one parameter was passed
    std::string Path;
};

// All parameters joined with single blanks, so that an unquoted path with blanks in it arrives
// whole, then trimmed of blanks and control characters at both ends.
StartupConfig JoinStartupArguments(const std::vector<std::string>& parameters);

}  // namespace quillon
