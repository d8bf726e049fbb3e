#include <gtest/gtest.h>

#include "info/FileVersionInfo.h"

namespace quillon {
namespace {

TEST(ShortVersion, DropsTheFourthCharacterAndKeepsFour) {
    EXPECT_EQ(ShortVersion("1.0.1.0"), "1.01");
    EXPECT_EQ(ShortVersion("1.0.1"), "1.01");
    EXPECT_EQ(ShortVersion("2.3.4.5"), "2.34");
}

TEST(ShortVersion, ShorterThanFourIsShownWhole) {
    EXPECT_EQ(ShortVersion(""), "");
    EXPECT_EQ(ShortVersion("1"), "1");
    EXPECT_EQ(ShortVersion("1.0"), "1.0");
}

TEST(ShortVersion, ExactlyFourLosesItsLast) {
    EXPECT_EQ(ShortVersion("1.0."), "1.0");
    EXPECT_EQ(ShortVersion("1234"), "123");
}

// Type, subtype and the text shown: types without subtypes ignore it; the driver rows end at
// communications, the font rows at TrueType; a virtual device shows its identifier in eight
// upper-case hex digits; unlisted types and subtypes are empty.
TEST(FileTypeDescription, TextsByTypeAndSubtype) {
    const struct {
        uint32_t Type, Subtype;
        const char* Text;
    } kRows[] = {
        {0, 77, "Unknown"},
        {1, 0, "Application"},
        {1, 0xFFFFFFFF, "Application"},
        {2, 3, "DLL"},
        {7, 9, "Static-link Library"},
        {3, 0, "Unknown Driver"},
        {3, 8, "InstallableDriver"},
        {3, 10, "Communications Driver"},
        {3, 11, ""},
        {3, 0xFFFFFFFF, ""},
        {4, 0, "Unknown Font"},
        {4, 3, "Truetype Font"},
        {4, 4, ""},
        {5, 0, "Virtual Defice Identifier = 00000000"},
        {5, 0xab, "Virtual Defice Identifier = 000000AB"},
        {5, 0xFFFFFFFF, "Virtual Defice Identifier = FFFFFFFF"},
        {6, 0, ""},
        {8, 0, ""},
        {0xFFFFFFFF, 1, ""},
    };
    for (const auto& row : kRows) {
        EXPECT_EQ(FileTypeDescription(row.Type, row.Subtype), row.Text)
            << row.Type << "/" << row.Subtype;
    }
}

TEST(TruncateUtf8, CountsCharactersNotBytes) {
    EXPECT_EQ(TruncateUtf8("abc", 80), "abc");
    EXPECT_EQ(TruncateUtf8("abcdef", 3), "abc");
    EXPECT_EQ(TruncateUtf8("\xC3\xA4\xC3\xB6\xC3\xBC", 2), "\xC3\xA4\xC3\xB6");
    EXPECT_EQ(TruncateUtf8("a\xE2\x82\xAC", 1), "a");
}

}  // namespace
}  // namespace quillon
