#pragma once

#include <QStringList>
#include <ostream>

namespace quillon::cli {

// Whether the command line asks for `records` (its first word that is no option), which has
// options of its own and touches no adapter.
bool IsRecordsCommand(const QStringList& arguments);

// quillon-cli records [summary] ...: the provisioning records of a station's file or a line's
// server, listed or summed up. Returns the exit code.
int RunRecords(const QStringList& arguments, std::ostream& out, std::ostream& err);

}  // namespace quillon::cli
