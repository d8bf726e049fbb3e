#pragma once

#include <QStringList>
#include <optional>
#include <ostream>
#include <string>

#include "cli/CliContext.h"
#include "cli/CliEnvironment.h"

namespace quillon::cli {

// What a command line asks for: a command with its options checked, or only a text to print
// (--help, --version).
struct CommandLine {
    std::optional<CliOptions> Options;
    std::string Text;
};

// Parses the arguments (the program name first) and checks every option's value; nothing is
// looked at but the arguments. A usage error otherwise, with its message.
CliResult<CommandLine> ParseCommandLine(const QStringList& arguments);

// Runs the tool with its arguments (the program name first) and returns the exit code. The
// output goes to out, messages, progress and --verbose logging to err.
int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& env);

// The exit-code table that --help ends with.
const char* ExitCodeHelp();

}  // namespace quillon::cli
