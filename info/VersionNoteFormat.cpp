#include "info/VersionNoteFormat.h"

#include <algorithm>

#include "info/ByteOrder.h"

namespace quillon {

namespace {

// Reads one NUL-terminated string starting at pos; false when no NUL follows before end.
bool TakeString(const uint8_t* data, size_t size, size_t& pos, std::string& out) {
    const uint8_t* begin = data + pos;
    const uint8_t* end = data + size;
    const uint8_t* nul = std::find(begin, end, uint8_t{0});
    if (nul == end) {
        return false;
    }
    out.assign(reinterpret_cast<const char*>(begin), static_cast<size_t>(nul - begin));
    pos += out.size() + 1;
    return true;
}

}  // namespace

std::optional<TVersionNote> ParseVersionNote(const uint8_t* data, size_t size, bool bigEndian) {
    if (data == nullptr || size < kVersionNoteFixedSize) {
        return std::nullopt;
    }
    auto word = [&](size_t index) { return ReadUnsigned<uint32_t>(data + 4 * index, bigEndian); };
    const uint32_t headerSize = word(0);
    if (headerSize < kVersionNoteFixedSize || headerSize > size) {
        return std::nullopt;
    }
    TVersionNote note;
    note.Fixed.FileFlagsMask = word(1);
    note.Fixed.FileFlags = word(2);
    note.Fixed.FileType = word(3);
    note.Fixed.FileSubtype = word(4);

    size_t pos = headerSize;
    while (pos < size) {
        std::string key;
        std::string value;
        if (!TakeString(data, size, pos, key) || key.empty()) {
            break;
        }
        if (pos >= size || !TakeString(data, size, pos, value)) {
            break;
        }
        note.Strings.emplace_back(std::move(key), std::move(value));
    }
    return note;
}

}  // namespace quillon
