#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/Result.h"
#include "config/DeviceSettings.h"

namespace quillon {

// A configuration file is the raw image of bytes 0 to 63 of the report buffer.
inline constexpr std::size_t kConfigFileSize = 64;

enum class ConfigFileResult {
    Ok,
    FileNotFound,    // load: nothing at the path
    UnableToOpen,    // load: there is something, but it cannot be read
    UnableToCreate,  // save: the new file could not be written completely
};

// The message shown for a failure: "file not found: ", "unable to open file: " or
// "unable to create file: " followed by the path; empty for Ok.
std::string ConfigFileMessage(ConfigFileResult result, const std::string& path);

// Reads up to 64 bytes from the start of the file into the buffer from byte 0. A shorter file
// replaces only the bytes it holds; the buffer's byte 1 (the connected adapter's version) is
// kept whatever the file holds. On failure the buffer is unchanged.
ConfigFileResult LoadConfigFile(const std::string& path, ReportBuffer& buffer);

// Why a configuration file meant for an adapter was refused.
enum class ConfigFileProblem {
    NotFound,
    Unreadable,
    WrongSize,    // not exactly 64 bytes
    NotSettings,  // its first byte is not the settings report ID
    Unshowable,   // a setting holds a value the settings page cannot show
};
using ConfigFileBytes = std::array<uint8_t, kConfigFileSize>;

// Reads a configuration file that is to go to an adapter without a person looking at it first,
// and checks it in full: exactly 64 bytes, a settings record, every setting a value that the
// settings page can show (so that what is written is what the file says). The message names
// the path and what is wrong.
Result<ConfigFileBytes, ConfigFileProblem> ReadCheckedConfigFile(const std::string& path);
// The same check of contents already read: the file's first bytes (65 tell a long file) and
// its size.
Result<ConfigFileBytes, ConfigFileProblem> CheckConfigFileContents(std::span<const uint8_t> start,
                                                                   std::uintmax_t size,
                                                                   const std::string& path);

// Writes bytes 0 to 63 of the buffer as the file at path. The old file stays as it was until
// the new one is completely written and on disk, and is then replaced in one step; on failure
// no partial file is left behind. A symbolic link is followed and stays a link; a path that
// names something other than a plain file is refused (UnableToCreate) and left alone. A file
// that its folder cannot replace, or that has several names, is written in place.
ConfigFileResult SaveConfigFile(const std::string& path, const ReportBuffer& buffer);

}  // namespace quillon
