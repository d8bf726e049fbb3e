#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "info/VersionNoteFormat.h"

namespace quillon {

// The version data that a file carries about itself, as the platform stores it: on Linux the
// note that the build writes into the program's ELF file (linux/ElfVersionResource.cpp), on
// Windows the file's version resource (windows/WindowsVersionResource.cpp).
class TVersionResource {
  public:
    // Empty when the file cannot be read or carries no version data.
    static TVersionResource Load(const std::string& path);

    bool Empty() const;

    // The value of one version string, or empty text when the key is absent. Keys compare
    // without regard to ASCII case, as the Windows version resource's do. On Windows the
    // strings are those of the first language and code page of the translation table.
    std::string QueryVersionString(std::string_view key) const;

    // The fixed file information, when the data has one.
    std::optional<TFixedFileInfo> FixedFileInfo() const;

  private:
#ifdef _WIN32
    std::vector<unsigned char> block_;  // as GetFileVersionInfoW fills it
#else
    std::optional<TVersionNote> note_;
#endif
};

// Whether the operating system would run the file as a program: on Linux a regular file with
// an execute permission bit whose header is that of an ELF or PE executable, on Windows what
// the shell takes for one.
bool IsExecutableFile(const std::string& path);

}  // namespace quillon
