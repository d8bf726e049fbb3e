#pragma once

#include <QStringList>
#include <ostream>

#include "cli/CliEnvironment.h"

namespace quillon::cli {

// Runs the tool with its arguments (the program name first) and returns the exit code. The
// output goes to out, messages, progress and --verbose logging to err.
int RunCli(const QStringList& arguments, std::ostream& out, std::ostream& err,
           const CliEnvironment& env);

// The exit-code table that --help ends with.
const char* ExitCodeHelp();

}  // namespace quillon::cli
