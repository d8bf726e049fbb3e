#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quillon {

// What a file says about itself: its version strings (UTF-8), its fixed flags and its type.
// Every field stays empty or false when the file has no such data.
struct TFileVersionInfo {
    std::string TypeName;  // the system's description of the file's type, at most 80 characters
    std::string CompanyName;
    std::string FileDescription;
    std::string FileVersion;
    std::string InternalName;
    std::string LegalCopyright;
    std::string LegalTrademarks;
    std::string OriginalFilename;
    std::string ProductName;
    std::string ProductVersion;
    std::string Comments;
    std::string SpecialBuild;
    std::string PrivateBuild;
    std::string FileType;

    bool Debug = false;
    bool PreRelease = false;
    bool Patched = false;
    bool PrivateBuildFlag = false;
    bool InfoInferred = false;
    bool SpecialBuildFlag = false;
};

// Describes a file's type for people (e.g. "executable"); empty when it cannot tell. The
// system's type database is reached from the windows, so the caller supplies it.
using TFileTypeNamer = std::function<std::string(const std::string& path)>;

inline constexpr size_t kMaxTypeNameLength = 80;

// Reads the version data of the named file. A file that is not an executable, or that carries
// no version data, gives empty fields (and TypeName only); nothing about the file is an error.
TFileVersionInfo ReadFileVersionInfo(const std::string& path,
                                     const TFileTypeNamer& typeNamer = nullptr);

// The kind of file that the fixed information's type and subtype name.
std::string FileTypeDescription(uint32_t fileType, uint32_t fileSubtype);

// The version as the info window shows it: the fourth character dropped and at most four
// characters kept, so "1.0.1.0" reads "1.01".
std::string ShortVersion(const std::string& fileVersion);

// The first maxChars characters of UTF-8 text, never cutting a character in two.
std::string TruncateUtf8(const std::string& text, size_t maxChars);

}  // namespace quillon
