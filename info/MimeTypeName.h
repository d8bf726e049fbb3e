#pragma once

#include <string>

namespace quillon {

// The system's description of a file's type ("executable", "plain text document"), looked up
// in the shared MIME database by the file's name and contents; empty when unknown.
std::string MimeTypeName(const std::string& path);

}  // namespace quillon
