#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "info/VersionNoteFormat.h"

namespace quillon {

// The version data that a file carries about itself, as the platform stores it: on Linux the
// note that the build writes into the program's ELF file (linux/ElfVersionResource.cpp); a
// Windows build would read the standard version resource here instead.
class TVersionResource {
  public:
    // Empty when the file cannot be read or carries no version data.
    static TVersionResource Load(const std::string& path);

    bool Empty() const { return !note_.has_value(); }

    // The value of one version string, or empty text when the key is absent. Keys compare
    // without regard to ASCII case, as the Windows version resource's do.
    std::string QueryVersionString(std::string_view key) const;

    // The fixed file information, when the data has one.
    std::optional<TFixedFileInfo> FixedFileInfo() const;

  private:
    std::optional<TVersionNote> note_;
};

// Whether the operating system would run the file as a program: on Linux a regular file with
// an execute permission bit whose header is that of an ELF or PE executable.
bool IsExecutableFile(const std::string& path);

}  // namespace quillon
