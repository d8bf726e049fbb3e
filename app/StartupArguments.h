#pragma once

#include <string>
#include <vector>

namespace quillon {

// The configuration file named on the command line.
struct StartupConfig {
    bool Given = false;  // at least one parameter was passed
    std::string Path;
};

// The parameters as the user gave them, program name excluded. To be taken before the
// QApplication is made: it removes the options it knows (-style, -reverse, ...) from argv, and
// a path with such a word in it would change without a word.
std::vector<std::string> ParametersAsGiven(int argc, const char* const* argv);

// All parameters joined with single blanks, so that an unquoted path with blanks in it arrives
// whole, then trimmed of blanks and control characters at both ends.
StartupConfig JoinStartupArguments(const std::vector<std::string>& parameters);

}  // namespace quillon
