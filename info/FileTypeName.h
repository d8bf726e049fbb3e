#pragma once

#include <string>

namespace quillon {

// The system's description of a file's type ("executable", "Application"); empty when unknown.
// On Linux it comes from the shared MIME database, by the file's name and contents
// (linux/MimeTypeName.cpp, through Qt); on Windows from the shell, by the file's name
// (windows/ShellTypeName.cpp).
std::string FileTypeName(const std::string& path);

}  // namespace quillon
