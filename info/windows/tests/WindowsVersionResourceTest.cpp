#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "info/FileTypeName.h"
#include "info/FileVersionInfo.h"
#include "info/tests/SampleVersionData.h"

namespace quillon {
namespace {

// The test programs and the samples they read all lie in one folder.
std::filesystem::path OwnProgram() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string Beside(const char* name) {
    return Utf8(OwnProgram().parent_path() / name);
}

void ExpectNoVersionStrings(const TFileVersionInfo& info) {
    for (const std::string* field :
         {&info.CompanyName, &info.FileDescription, &info.FileVersion, &info.InternalName,
          &info.LegalCopyright, &info.LegalTrademarks, &info.OriginalFilename, &info.ProductName,
          &info.ProductVersion, &info.Comments, &info.SpecialBuild, &info.PrivateBuild}) {
        EXPECT_EQ(*field, "");
    }
}

TEST(WindowsVersionResource, ReadsTheBuildsOwnVersionResourceFromItsPrograms) {
    // This test program links the program's own version data, as quillon-utility.exe does.
    const TFileVersionInfo own = ReadFileVersionInfo(Utf8(OwnProgram()), FileTypeName);
    EXPECT_EQ(own.CompanyName, "Morvane");
    EXPECT_EQ(own.FileDescription, "Quillon-Utility");
    EXPECT_EQ(own.FileVersion, QUILLON_PROJECT_VERSION);
    EXPECT_EQ(own.InternalName, "quillon-utility");
    EXPECT_EQ(own.LegalCopyright, "Copyright \u00a9 2026 Morvane");
    EXPECT_EQ(own.OriginalFilename, "quillon-utility");
    EXPECT_EQ(own.ProductName, "Quillon-Utility");
    EXPECT_EQ(own.ProductVersion, QUILLON_PROJECT_VERSION);
    EXPECT_EQ(own.SpecialBuildFlag, !own.SpecialBuild.empty());
    EXPECT_EQ(own.PrivateBuildFlag, !own.PrivateBuild.empty());
    EXPECT_EQ(own.FileType, "Application");
    EXPECT_FALSE(own.TypeName.empty());
#ifdef NDEBUG
    EXPECT_FALSE(own.Debug);
#else
    EXPECT_TRUE(own.Debug);
#endif

    test::ExpectSampleVersionData(ReadFileVersionInfo(Beside("info_version_sample.exe")));
}

TEST(WindowsVersionResource, StringsComeFromTheFirstLanguageOnly) {
    const TFileVersionInfo info = ReadFileVersionInfo(Beside("info_version_second_language.exe"));
    EXPECT_EQ(info.CompanyName, "Morvane GmbH");
    EXPECT_EQ(info.FileVersion, "3.1.0.0 de");
    EXPECT_EQ(info.LegalCopyright, "\u00a9 Morvane, K\u00f6ln");
    // Keys the first language lacks stay empty, although the second one has them.
    EXPECT_EQ(info.ProductName, "");
    EXPECT_EQ(info.Comments, "");
    EXPECT_EQ(info.SpecialBuild, "");
    // Set, but outside the mask.
    EXPECT_TRUE(info.Debug);
    EXPECT_FALSE(info.PreRelease);
    EXPECT_EQ(info.FileType, "Virtual Defice Identifier = 00001234");
}

TEST(WindowsVersionResource, EmptyTranslationTableGivesNoStringsButTheFixedPart) {
    const TFileVersionInfo info = ReadFileVersionInfo(Beside("info_version_no_translation.exe"));
    ExpectNoVersionStrings(info);
    EXPECT_TRUE(info.Patched);
    EXPECT_EQ(info.FileType, "DLL");
}

TEST(WindowsVersionResource, FilesWithoutVersionDataGiveOnlyTheirTypeName) {
    const std::filesystem::path folder = OwnProgram().parent_path();
    const std::filesystem::path text = folder / "info-tests-notes.txt";
    std::ofstream(text) << "MZ not a program\n";
    const TFileVersionInfo info = ReadFileVersionInfo(Utf8(text), FileTypeName);
    std::filesystem::remove(text);
    ExpectNoVersionStrings(info);
    EXPECT_EQ(info.FileType, "");
    EXPECT_FALSE(info.TypeName.empty());
    EXPECT_LE(info.TypeName.size(), 80u * 4);

    ExpectNoVersionStrings(ReadFileVersionInfo(Utf8(folder / "absent.exe")));
    ExpectNoVersionStrings(ReadFileVersionInfo(Utf8(folder)));
    EXPECT_EQ(ReadFileVersionInfo(Utf8(folder)).FileType, "");
}

}  // namespace
}  // namespace quillon
