#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

// The operating system's side of configuration files. Each platform has its own source file
// for these (posix/FileAccess.cpp, and a sibling per other platform, picked by the build), so
// that ConfigFile.cpp holds only what is the same everywhere.
namespace quillon::file_access {

enum class ReadResult {
    Ok,
    NotFound,    // nothing at the path
    Unreadable,  // something is there, but it is no plain file or cannot be read
};

// Reads up to data.size() bytes from the start of the file at path; length is set to the
// number read. Only a plain file is read: a named pipe or a device would block the caller or
// never end.
ReadResult ReadFileStart(const std::string& path, std::span<uint8_t> data, std::size_t& length);

// Makes contents the whole file at path. A symbolic link is followed and the file it names is
// written, the link stays; anything else that is not a plain file (a device, a named pipe, a
// folder) is refused and left alone. Normally a complete new file replaces the old one in one
// step, with the old one's owner, group and mode where the process may keep them, so that a
// failure leaves the old file as it was. The file is written in place instead where it cannot
// be replaced so (the folder takes no new file, or the owner could not be kept) and where it
// has several names (hard links), which a replacement would split apart. False when the file
// could not be written.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> contents);

}  // namespace quillon::file_access
