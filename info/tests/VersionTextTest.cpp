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

TEST(FileTypeDescription, TypesWithoutSubtypesIgnoreIt) {
    EXPECT_EQ(FileTypeDescription(0, 77), "Unknown");
    EXPECT_EQ(FileTypeDescription(1, 0), "Application");
    EXPECT_EQ(FileTypeDescription(1, 0xFFFFFFFF), "Application");
    EXPECT_EQ(FileTypeDescription(2, 3), "DLL");
    EXPECT_EQ(FileTypeDescription(7, 9), "Static-link Library");
}

TEST(FileTypeDescription, DriverRowsEndAtCommunications) {
    EXPECT_EQ(FileTypeDescription(3, 0), "Unknown Driver");
    EXPECT_EQ(FileTypeDescription(3, 8), "InstallableDriver");
    EXPECT_EQ(FileTypeDescription(3, 10), "Communications Driver");
    EXPECT_EQ(FileTypeDescription(3, 11), "");
    EXPECT_EQ(FileTypeDescription(3, 0xFFFFFFFF), "");
}

TEST(FileTypeDescription, FontRowsEndAtTruetype) {
    EXPECT_EQ(FileTypeDescription(4, 0), "Unknown Font");
    EXPECT_EQ(FileTypeDescription(4, 3), "Truetype Font");
    EXPECT_EQ(FileTypeDescription(4, 4), "");
}

TEST(FileTypeDescription, VirtualDeviceShowsEightUpperCaseHexDigits) {
    EXPECT_EQ(FileTypeDescription(5, 0), "Virtual Defice Identifier = 00000000");
    EXPECT_EQ(FileTypeDescription(5, 0xab), "Virtual Defice Identifier = 000000AB");
    EXPECT_EQ(FileTypeDescription(5, 0xFFFFFFFF), "Virtual Defice Identifier = FFFFFFFF");
}

TEST(FileTypeDescription, UnlistedTypesAreEmpty) {
    EXPECT_EQ(FileTypeDescription(6, 0), "");
    EXPECT_EQ(FileTypeDescription(8, 0), "");
    EXPECT_EQ(FileTypeDescription(0xFFFFFFFF, 1), "");
}

TEST(TruncateUtf8, CountsCharactersNotBytes) {
    EXPECT_EQ(TruncateUtf8("abc", 80), "abc");
    EXPECT_EQ(TruncateUtf8("abcdef", 3), "abc");
    EXPECT_EQ(TruncateUtf8("\xC3\xA4\xC3\xB6\xC3\xBC", 2), "\xC3\xA4\xC3\xB6");
    EXPECT_EQ(TruncateUtf8("a\xE2\x82\xAC", 1), "a");
}

}  // namespace
}  // namespace quillon
