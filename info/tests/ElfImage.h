#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::test {

// Builds small ELF files in memory, one note area in them, for the reader's tests.
struct TElfImageOptions {
    bool Is64 = true;
    bool BigEndian = false;
    uint16_t Type = 3;           // shared object, as position-independent programs are
    bool SectionTable = true;    // name the notes by a note section
    bool ProgramHeaders = true;  // and by a note segment
    uint64_t NoteAlign = 4;
};

class TElfImage {
  public:
    explicit TElfImage(TElfImageOptions options) : options_(options) {}

    // Appends one note to the note area.
    void AddNote(const std::string& owner, uint32_t type, const std::vector<uint8_t>& descriptor);

    std::vector<uint8_t> Build() const;

    // Offsets of header fields in the built image, for tests that damage them.
    size_t ShOffField() const { return options_.Is64 ? 40 : 32; }
    size_t PhOffField() const { return options_.Is64 ? 32 : 28; }
    size_t ShNumField() const { return options_.Is64 ? 60 : 48; }
    size_t NoteAreaOffset() const;
    size_t SectionTableOffset() const;

  private:
    void Put(std::vector<uint8_t>& out, uint64_t value, size_t bytes) const;

    TElfImageOptions options_;
    std::vector<uint8_t> notes_;
};

// A version note descriptor as the build writes one, in the given byte order.
std::vector<uint8_t> VersionDescriptor(
    const std::vector<std::pair<std::string, std::string>>& strings, uint32_t flags, uint32_t mask,
    uint32_t type, uint32_t subtype, bool bigEndian);

}  // namespace quillon::test
