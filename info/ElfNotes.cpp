#include "info/ElfNotes.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "info/ByteOrder.h"

namespace quillon {

namespace {

constexpr uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr uint8_t kClass32 = 1;
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kDataLittle = 1;
constexpr uint8_t kDataBig = 2;
constexpr uint16_t kTypeExec = 2;
constexpr uint16_t kTypeDyn = 3;
constexpr uint32_t kSectionNote = 7;
constexpr uint32_t kSegmentNote = 4;

// Our own note is a few hundred bytes; anything near these limits is not worth reading.
constexpr uint64_t kMaxNoteArea = 1u << 20;
constexpr uint64_t kMaxNoteBytesPerFile = 16u << 20;

// The parts of the ELF header this reader needs, whatever the class.
struct TElfHeader {
    bool Is64 = false;
    bool BigEndian = false;
    uint16_t Type = 0;
    uint64_t PhOff = 0;
    uint16_t PhEntSize = 0;
    uint16_t PhNum = 0;
    uint64_t ShOff = 0;
    uint16_t ShEntSize = 0;
    uint16_t ShNum = 0;
};

// A stretch of the file holding notes, with the alignment its notes are padded to.
struct TNoteArea {
    uint64_t Offset = 0;
    uint64_t Size = 0;
    uint64_t Align = 4;
};

std::optional<TElfHeader> ReadElfHeader(IByteSource& source) {
    std::array<uint8_t, 64> raw{};
    if (!source.ReadAt(0, raw.data(), 16) || std::memcmp(raw.data(), kElfMagic, 4) != 0) {
        return std::nullopt;
    }
    TElfHeader h;
    if (raw[4] != kClass32 && raw[4] != kClass64) {
        return std::nullopt;
    }
    if (raw[5] != kDataLittle && raw[5] != kDataBig) {
        return std::nullopt;
    }
    h.Is64 = raw[4] == kClass64;
    h.BigEndian = raw[5] == kDataBig;
    if (!source.ReadAt(0, raw.data(), h.Is64 ? 64 : 52)) {
        return std::nullopt;
    }
    const uint8_t* p = raw.data();
    const bool be = h.BigEndian;
    h.Type = ReadUnsigned<uint16_t>(p + 16, be);
    if (h.Is64) {
        h.PhOff = ReadUnsigned<uint64_t>(p + 32, be);
        h.ShOff = ReadUnsigned<uint64_t>(p + 40, be);
        h.PhEntSize = ReadUnsigned<uint16_t>(p + 54, be);
        h.PhNum = ReadUnsigned<uint16_t>(p + 56, be);
        h.ShEntSize = ReadUnsigned<uint16_t>(p + 58, be);
        h.ShNum = ReadUnsigned<uint16_t>(p + 60, be);
    } else {
        h.PhOff = ReadUnsigned<uint32_t>(p + 28, be);
        h.ShOff = ReadUnsigned<uint32_t>(p + 32, be);
        h.PhEntSize = ReadUnsigned<uint16_t>(p + 42, be);
        h.PhNum = ReadUnsigned<uint16_t>(p + 44, be);
        h.ShEntSize = ReadUnsigned<uint16_t>(p + 46, be);
        h.ShNum = ReadUnsigned<uint16_t>(p + 48, be);
    }
    return h;
}

// Note areas named by the section table (sectionTable true) or by the program headers.
std::vector<TNoteArea> NoteAreas(IByteSource& source, const TElfHeader& h, bool sectionTable) {
    const uint64_t tableOffset = sectionTable ? h.ShOff : h.PhOff;
    const uint16_t entrySize = sectionTable ? h.ShEntSize : h.PhEntSize;
    const uint16_t count = sectionTable ? h.ShNum : h.PhNum;
    const size_t needed = sectionTable ? (h.Is64 ? 64 : 40) : (h.Is64 ? 56 : 32);
    std::vector<TNoteArea> areas;
    if (tableOffset == 0 || entrySize < needed ||
        !RangeInside(tableOffset, uint64_t{entrySize} * count, source.Size())) {
        return areas;
    }
    const bool be = h.BigEndian;
    std::array<uint8_t, 64> e{};
    for (uint16_t i = 0; i < count; ++i) {
        if (!source.ReadAt(tableOffset + uint64_t{entrySize} * i, e.data(), needed)) {
            break;
        }
        const uint8_t* p = e.data();
        TNoteArea area;
        uint32_t type = 0;
        if (sectionTable && h.Is64) {
            type = ReadUnsigned<uint32_t>(p + 4, be);
            area = {ReadUnsigned<uint64_t>(p + 24, be), ReadUnsigned<uint64_t>(p + 32, be),
                    ReadUnsigned<uint64_t>(p + 48, be)};
        } else if (sectionTable) {
            type = ReadUnsigned<uint32_t>(p + 4, be);
            area = {ReadUnsigned<uint32_t>(p + 16, be), ReadUnsigned<uint32_t>(p + 20, be),
                    ReadUnsigned<uint32_t>(p + 32, be)};
        } else if (h.Is64) {
            type = ReadUnsigned<uint32_t>(p, be);
            area = {ReadUnsigned<uint64_t>(p + 8, be), ReadUnsigned<uint64_t>(p + 32, be),
                    ReadUnsigned<uint64_t>(p + 48, be)};
        } else {
            type = ReadUnsigned<uint32_t>(p, be);
            area = {ReadUnsigned<uint32_t>(p + 4, be), ReadUnsigned<uint32_t>(p + 16, be),
                    ReadUnsigned<uint32_t>(p + 28, be)};
        }
        if (type != (sectionTable ? kSectionNote : kSegmentNote)) {
            continue;
        }
        // Notes are padded to 4 bytes, except in areas aligned to 8 (as some 64-bit
        // property notes are), where name and descriptor are padded to 8.
        area.Align = area.Align == 8 ? 8 : 4;
        if (area.Size > 0 && area.Size <= kMaxNoteArea &&
            RangeInside(area.Offset, area.Size, source.Size())) {
            areas.push_back(area);
        }
    }
    return areas;
}

uint64_t AlignUp(uint64_t value, uint64_t align) {
    return (value + align - 1) / align * align;
}

std::optional<std::vector<uint8_t>> FindInArea(const std::vector<uint8_t>& bytes, uint64_t align,
                                               bool be, std::string_view owner, uint32_t type) {
    const uint64_t size = bytes.size();
    uint64_t pos = 0;
    while (RangeInside(pos, 12, size)) {
        const uint64_t nameSize = ReadUnsigned<uint32_t>(bytes.data() + pos, be);
        const uint64_t descSize = ReadUnsigned<uint32_t>(bytes.data() + pos + 4, be);
        const uint32_t noteType = ReadUnsigned<uint32_t>(bytes.data() + pos + 8, be);
        const uint64_t namePos = pos + 12;
        if (!RangeInside(namePos, nameSize, size)) {
            break;
        }
        const uint64_t descPos = AlignUp(namePos + nameSize, align);
        if (!RangeInside(descPos, descSize, size)) {
            break;
        }
        // The recorded name size counts the terminating NUL.
        const bool ownerMatches =
            nameSize == owner.size() + 1 &&
            std::memcmp(bytes.data() + namePos, owner.data(), owner.size()) == 0 &&
            bytes[namePos + owner.size()] == 0;
        if (ownerMatches && noteType == type) {
            return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(descPos),
                                        bytes.begin() + static_cast<ptrdiff_t>(descPos + descSize));
        }
        pos = AlignUp(descPos + descSize, align);
    }
    return std::nullopt;
}

}  // namespace

TExecutableFormat DetectExecutableFormat(IByteSource& source) {
    if (const auto elf = ReadElfHeader(source)) {
        return elf->Type == kTypeExec || elf->Type == kTypeDyn ? TExecutableFormat::Elf
                                                               : TExecutableFormat::None;
    }
    uint8_t mz[0x40];
    if (!source.ReadAt(0, mz, sizeof mz) || mz[0] != 'M' || mz[1] != 'Z') {
        return TExecutableFormat::None;
    }
    const uint32_t peOffset = ReadUnsigned<uint32_t>(mz + 0x3C, false);
    uint8_t signature[4];
    if (!source.ReadAt(peOffset, signature, sizeof signature) ||
        std::memcmp(signature, "PE\0\0", 4) != 0) {
        return TExecutableFormat::None;
    }
    return TExecutableFormat::Pe;
}

std::optional<TElfNote> FindElfNote(IByteSource& source, std::string_view owner, uint32_t type) {
    const auto header = ReadElfHeader(source);
    if (!header) {
        return std::nullopt;
    }
    auto areas = NoteAreas(source, *header, true);
    if (areas.empty()) {
        areas = NoteAreas(source, *header, false);
    }
    uint64_t budget = kMaxNoteBytesPerFile;
    std::vector<uint8_t> bytes;
    for (const TNoteArea& area : areas) {
        if (area.Size > budget) {
            break;
        }
        budget -= area.Size;
        bytes.resize(static_cast<size_t>(area.Size));
        if (!source.ReadAt(area.Offset, bytes.data(), bytes.size())) {
            continue;
        }
        if (auto descriptor = FindInArea(bytes, area.Align, header->BigEndian, owner, type)) {
            return TElfNote{std::move(*descriptor), header->BigEndian};
        }
    }
    return std::nullopt;
}

}  // namespace quillon
