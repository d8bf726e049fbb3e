#include <gtest/gtest.h>

#include "info/ElfNotes.h"
#include "info/VersionNoteFormat.h"
#include "info/tests/ElfImage.h"

namespace quillon {
namespace {

using test::TElfImage;
using test::TElfImageOptions;

const std::vector<uint8_t> kDescriptor = {1, 2, 3, 4, 5, 6, 7};

std::optional<TElfNote> Find(const std::vector<uint8_t>& image,
                             const std::string& owner = "Quillon", uint32_t type = 1) {
    TMemoryByteSource source(image.data(), image.size());
    return FindElfNote(source, owner, type);
}

std::vector<uint8_t> ImageWithNote(TElfImageOptions options) {
    TElfImage image(options);
    image.AddNote("GNU", 3, {9, 9, 9, 9});
    image.AddNote("Quillon", 2, {8});
    image.AddNote("Quillon", 1, kDescriptor);
    return image.Build();
}

struct Layout {
    bool Is64;
    bool BigEndian;
    uint64_t Align;
};

class ElfLayouts : public testing::TestWithParam<Layout> {};

TEST_P(ElfLayouts, FindsTheNoteByOwnerAndType) {
    const Layout l = GetParam();
    const auto note =
        Find(ImageWithNote({.Is64 = l.Is64, .BigEndian = l.BigEndian, .NoteAlign = l.Align}));
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->Descriptor, kDescriptor);
    EXPECT_EQ(note->BigEndian, l.BigEndian);
}

TEST_P(ElfLayouts, FindsTheNoteThroughSegmentsWhenSectionsAreGone) {
    const Layout l = GetParam();
    const auto note = Find(ImageWithNote(
        {.Is64 = l.Is64, .BigEndian = l.BigEndian, .SectionTable = false, .NoteAlign = l.Align}));
    ASSERT_TRUE(note.has_value());
    EXPECT_EQ(note->Descriptor, kDescriptor);
}

INSTANTIATE_TEST_SUITE_P(AllClassesAndOrders, ElfLayouts,
                         testing::Values(Layout{true, false, 4}, Layout{true, true, 4},
                                         Layout{false, false, 4}, Layout{false, true, 4},
                                         Layout{true, false, 8}),
                         [](const testing::TestParamInfo<Layout>& info) {
                             const Layout& l = info.param;
                             return std::string(l.Is64 ? "Elf64" : "Elf32") +
                                    (l.BigEndian ? "Big" : "Little") + "Align" +
                                    std::to_string(l.Align);
                         });

TEST(ElfNotes, OwnerMustMatchWhollyWithItsTerminator) {
    TElfImage image({});
    image.AddNote("Quillon2", 1, kDescriptor);
    image.AddNote("Quill", 1, kDescriptor);
    EXPECT_FALSE(Find(image.Build()).has_value());
}

TEST(ElfNotes, FileWithoutTheNoteGivesNothing) {
    TElfImage image({});
    image.AddNote("GNU", 1, kDescriptor);
    EXPECT_FALSE(Find(image.Build()).has_value());
    EXPECT_FALSE(Find({}).has_value());
    const std::string text = "just some text, long enough to fill an ELF header and more of it";
    EXPECT_FALSE(Find(std::vector<uint8_t>(text.begin(), text.end())).has_value());
}

// Every proper prefix of a good file is read without fault. The note tables come last (or
// the note ends the file), so no prefix holds a whole, findable note.
TEST(ElfNotes, EveryTruncationIsSafe) {
    for (const bool sections : {true, false}) {
        TElfImage image({.SectionTable = sections, .ProgramHeaders = !sections});
        image.AddNote("Quillon", 1, kDescriptor);
        const auto full = image.Build();
        ASSERT_TRUE(Find(full).has_value());
        for (size_t length = 0; length < full.size(); ++length) {
            const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
            EXPECT_FALSE(Find(cut).has_value()) << length;
        }
    }
}

// Each header byte set to extreme values: the reader must stay inside the buffer (ASan
// watches) and not try to allocate what a wild size asks for.
TEST(ElfNotes, DamagedHeaderBytesAreSafe) {
    for (const bool is64 : {true, false}) {
        TElfImage image({.Is64 = is64});
        image.AddNote("Quillon", 1, kDescriptor);
        const auto good = image.Build();
        for (size_t i = 0; i < good.size(); ++i) {
            for (const uint8_t value : {uint8_t{0x00}, uint8_t{0x7F}, uint8_t{0xFF}}) {
                auto bad = good;
                bad[i] = value;
                const auto note = Find(bad);
                if (note) {
                    EXPECT_LE(note->Descriptor.size(), bad.size());
                }
            }
        }
    }
}

TEST(ElfNotes, SizesPointingPastTheEndAreRejected) {
    TElfImage image({.ProgramHeaders = false});
    image.AddNote("Quillon", 1, kDescriptor);
    auto bad = image.Build();
    // Descriptor size of the note: 0xFFFFFFFF.
    const size_t descSizeField = image.NoteAreaOffset() + 4;
    for (size_t i = 0; i < 4; ++i) {
        bad[descSizeField + i] = 0xFF;
    }
    EXPECT_FALSE(Find(bad).has_value());

    auto farTable = image.Build();
    for (size_t i = 0; i < 8; ++i) {
        farTable[image.ShOffField() + i] = 0xFF;  // section table at 2^64 - 1
    }
    EXPECT_FALSE(Find(farTable).has_value());
}

TEST(ElfNotes, DetectsExecutablesByTheirHeader) {
    auto detect = [](const std::vector<uint8_t>& bytes) {
        TMemoryByteSource source(bytes.data(), bytes.size());
        return DetectExecutableFormat(source);
    };
    EXPECT_EQ(detect(TElfImage({.Type = 2}).Build()), TExecutableFormat::Elf);
    EXPECT_EQ(detect(TElfImage({.Type = 3}).Build()), TExecutableFormat::Elf);
    EXPECT_EQ(detect(TElfImage({.Type = 1}).Build()), TExecutableFormat::None);  // object file
    EXPECT_EQ(detect(TElfImage({.Type = 4}).Build()), TExecutableFormat::None);  // core dump

    std::vector<uint8_t> pe(0x100, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x80;
    pe[0x80] = 'P';
    pe[0x81] = 'E';
    EXPECT_EQ(detect(pe), TExecutableFormat::Pe);
    pe[0x3C] = 0xFF;  // signature beyond the end
    EXPECT_EQ(detect(pe), TExecutableFormat::None);
    EXPECT_EQ(detect({'M', 'Z'}), TExecutableFormat::None);
}

TEST(VersionNoteFormat, DecodesFixedWordsAndStringsInEitherOrder) {
    for (const bool be : {false, true}) {
        const auto bytes = test::VersionDescriptor({{"FileVersion", "1.0.1.0"}, {"Empty", ""}},
                                                   0x21, 0x3F, 3, 8, be);
        const auto note = ParseVersionNote(bytes.data(), bytes.size(), be);
        ASSERT_TRUE(note.has_value());
        EXPECT_EQ(note->Fixed.FileFlags, 0x21u);
        EXPECT_EQ(note->Fixed.FileFlagsMask, 0x3Fu);
        EXPECT_EQ(note->Fixed.FileType, 3u);
        EXPECT_EQ(note->Fixed.FileSubtype, 8u);
        ASSERT_EQ(note->Strings.size(), 2u);
        EXPECT_EQ(note->Strings[0].second, "1.0.1.0");
        EXPECT_EQ(note->Strings[1].second, "");
    }
}

TEST(VersionNoteFormat, RejectsInconsistentHeadersAndDropsUnterminatedStrings) {
    auto bytes = test::VersionDescriptor({}, 0, 0, 1, 0, false);
    EXPECT_FALSE(ParseVersionNote(bytes.data(), 19, false).has_value());
    bytes[0] = 200;  // header larger than the descriptor
    EXPECT_FALSE(ParseVersionNote(bytes.data(), bytes.size(), false).has_value());
    bytes[0] = 4;  // header smaller than its own fixed words
    EXPECT_FALSE(ParseVersionNote(bytes.data(), bytes.size(), false).has_value());

    auto cut =
        test::VersionDescriptor({{"CompanyName", "Morvane"}, {"Comments", "x"}}, 0, 0, 1, 0, false);
    while (cut.back() == 0) {
        cut.pop_back();  // the last value loses its terminator
    }
    const auto note = ParseVersionNote(cut.data(), cut.size(), false);
    ASSERT_TRUE(note.has_value());
    ASSERT_EQ(note->Strings.size(), 1u);
    EXPECT_EQ(note->Strings[0].first, "CompanyName");
}

}  // namespace
}  // namespace quillon
