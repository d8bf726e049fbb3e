#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Layout of the version data that the build writes into every executable of the program as
// an ELF note. It plays the part the version resource plays in a Windows executable: the
// generated writer (VersionNote.cpp.in) and the reader share these definitions.
//
// Note descriptor, 32-bit words in the byte order of the ELF file:
//   HeaderSize     bytes before the string table (lets later layouts add words)
//   FileFlagsMask  which of FileFlags are meaningful
//   FileFlags      debug, pre-release, patched, private build, info inferred, special build
//   FileType       1 = application
//   FileSubtype
// then the string table: key and value as NUL-terminated UTF-8, pair after pair, ended by an
// empty key or by the end of the descriptor.

// Also spelt as macros: the writer needs them as literals in an attribute and an initialiser.
#define QUILLON_VERSION_NOTE_OWNER "Quillon"
#define QUILLON_VERSION_NOTE_SECTION ".note.quillon.version"

namespace quillon {

inline constexpr char kVersionNoteOwner[] = QUILLON_VERSION_NOTE_OWNER;  // 8 bytes with its NUL
inline constexpr uint32_t kVersionNoteType = 1;

// The fixed words of the descriptor as the writer lays them out.
struct TVersionNoteFixedWords {
    uint32_t HeaderSize;
    uint32_t FileFlagsMask;
    uint32_t FileFlags;
    uint32_t FileType;
    uint32_t FileSubtype;
};
inline constexpr size_t kVersionNoteFixedSize = sizeof(TVersionNoteFixedWords);

// File flags of the fixed information.
enum TVersionFileFlag : uint32_t {
    FlagDebug = 0x01,
    FlagPreRelease = 0x02,
    FlagPatched = 0x04,
    FlagPrivateBuild = 0x08,
    FlagInfoInferred = 0x10,
    FlagSpecialBuild = 0x20,
};

struct TFixedFileInfo {
    uint32_t FileFlagsMask = 0;
    uint32_t FileFlags = 0;
    uint32_t FileType = 0;
    uint32_t FileSubtype = 0;
};

struct TVersionNote {
    TFixedFileInfo Fixed;
    std::vector<std::pair<std::string, std::string>> Strings;  // in the order written
};

// Decodes a note descriptor; nullopt when it is too short or its header is inconsistent.
// Strings that run past the end of the descriptor are dropped.
std::optional<TVersionNote> ParseVersionNote(const uint8_t* data, size_t size, bool bigEndian);

}  // namespace quillon
