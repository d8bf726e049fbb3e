#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "info/ByteSource.h"

namespace quillon {

struct TElfNote {
    std::vector<uint8_t> Descriptor;
    bool BigEndian = false;  // byte order of the file, and so of the descriptor's words
};

// What the first bytes of a file say about it.
enum class TExecutableFormat { None, Elf, Pe };

// ELF executables and shared objects (position-independent programs are the latter), and
// PE images behind their MZ stub. Object files, core dumps and plain data give None.
TExecutableFormat DetectExecutableFormat(IByteSource& source);

// Finds the first note with the given owner name and type in an ELF file of either class and
// byte order: in its note sections, or where it has no section table, in its note segments.
// Every offset and size in the file is checked against the file's size before use, and no
// note area larger than a sane limit is read; a damaged file gives nullopt.
std::optional<TElfNote> FindElfNote(IByteSource& source, std::string_view owner, uint32_t type);

}  // namespace quillon
