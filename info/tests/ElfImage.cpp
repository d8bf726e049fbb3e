#include "info/tests/ElfImage.h"

namespace quillon::test {

namespace {

void PutInto(std::vector<uint8_t>& out, uint64_t value, size_t bytes, bool bigEndian) {
    for (size_t i = 0; i < bytes; ++i) {
        const size_t shift = 8 * (bigEndian ? bytes - 1 - i : i);
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PadTo(std::vector<uint8_t>& out, size_t align) {
    while (out.size() % align != 0) {
        out.push_back(0);
    }
}

}  // namespace

void TElfImage::Put(std::vector<uint8_t>& out, uint64_t value, size_t bytes) const {
    PutInto(out, value, bytes, options_.BigEndian);
}

void TElfImage::AddNote(const std::string& owner, uint32_t type,
                        const std::vector<uint8_t>& descriptor) {
    Put(notes_, owner.size() + 1, 4);
    Put(notes_, descriptor.size(), 4);
    Put(notes_, type, 4);
    notes_.insert(notes_.end(), owner.begin(), owner.end());
    notes_.push_back(0);
    PadTo(notes_, options_.NoteAlign);
    notes_.insert(notes_.end(), descriptor.begin(), descriptor.end());
    PadTo(notes_, options_.NoteAlign);
}

size_t TElfImage::NoteAreaOffset() const {
    const size_t header = options_.Is64 ? 64 : 52;
    const size_t phdr = options_.Is64 ? 56 : 32;
    return (header + phdr + 7) / 8 * 8;
}

size_t TElfImage::SectionTableOffset() const {
    return (NoteAreaOffset() + notes_.size() + 7) / 8 * 8;
}

std::vector<uint8_t> TElfImage::Build() const {
    const bool is64 = options_.Is64;
    const size_t word = is64 ? 8 : 4;
    const size_t headerSize = is64 ? 64 : 52;
    const size_t phdrSize = is64 ? 56 : 32;
    const size_t shdrSize = is64 ? 64 : 40;
    const size_t phOff = headerSize;
    const size_t noteOff = NoteAreaOffset();
    const size_t shOff = SectionTableOffset();

    std::vector<uint8_t> out = {0x7F,
                                'E',
                                'L',
                                'F',
                                static_cast<uint8_t>(is64 ? 2 : 1),
                                static_cast<uint8_t>(options_.BigEndian ? 2 : 1),
                                1};
    out.resize(16, 0);
    Put(out, options_.Type, 2);
    Put(out, 62, 2);    // machine
    Put(out, 1, 4);     // version
    Put(out, 0, word);  // entry
    Put(out, options_.ProgramHeaders ? phOff : 0, word);
    Put(out, options_.SectionTable ? shOff : 0, word);
    Put(out, 0, 4);  // flags
    Put(out, headerSize, 2);
    Put(out, phdrSize, 2);
    Put(out, options_.ProgramHeaders ? 1 : 0, 2);
    Put(out, shdrSize, 2);
    Put(out, options_.SectionTable ? 2 : 0, 2);  // the null section and the note section
    Put(out, 0, 2);                              // no section names

    if (options_.ProgramHeaders) {
        Put(out, 4, 4);  // note segment
        if (is64) {
            Put(out, 4, 4);  // flags
            Put(out, noteOff, 8);
            Put(out, noteOff, 8);
            Put(out, noteOff, 8);
            Put(out, notes_.size(), 8);
            Put(out, notes_.size(), 8);
            Put(out, options_.NoteAlign, 8);
        } else {
            Put(out, noteOff, 4);
            Put(out, noteOff, 4);
            Put(out, noteOff, 4);
            Put(out, notes_.size(), 4);
            Put(out, notes_.size(), 4);
            Put(out, 4, 4);  // flags
            Put(out, options_.NoteAlign, 4);
        }
    }
    out.resize(noteOff, 0);
    out.insert(out.end(), notes_.begin(), notes_.end());

    if (options_.SectionTable) {
        out.resize(shOff, 0);
        out.resize(shOff + shdrSize, 0);  // the null section
        Put(out, 0, 4);                   // name
        Put(out, 7, 4);                   // note section
        Put(out, 2, word);                // allocated
        Put(out, noteOff, word);          // address
        Put(out, noteOff, word);
        Put(out, notes_.size(), word);
        Put(out, 0, 4);  // link
        Put(out, 0, 4);  // info
        Put(out, options_.NoteAlign, word);
        Put(out, 0, word);  // entry size
    }
    return out;
}

std::vector<uint8_t> VersionDescriptor(
    const std::vector<std::pair<std::string, std::string>>& strings, uint32_t flags, uint32_t mask,
    uint32_t type, uint32_t subtype, bool bigEndian) {
    std::vector<uint8_t> out;
    for (uint32_t value : {20u, mask, flags, type, subtype}) {
        PutInto(out, value, 4, bigEndian);
    }
    for (const auto& [key, value] : strings) {
        out.insert(out.end(), key.begin(), key.end());
        out.push_back(0);
        out.insert(out.end(), value.begin(), value.end());
        out.push_back(0);
    }
    PadTo(out, 4);
    return out;
}

}  // namespace quillon::test
