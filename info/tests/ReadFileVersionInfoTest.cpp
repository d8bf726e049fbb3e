#include <sys/stat.h>

#include <gtest/gtest.h>

#include "info/FileVersionInfo.h"
#include "info/VersionResource.h"
#include "info/tests/ElfImage.h"
#include "info/tests/SampleVersionData.h"
#include "tests/TempDirectory.h"

namespace quillon {
namespace {

using testing::ReadAll;
using testing::TempDir;

// This test program links the program's own version data.
const std::string kSelf = "/proc/self/exe";

void ExpectNoVersionData(const TFileVersionInfo& info) {
    EXPECT_EQ(info.CompanyName, "");
    EXPECT_EQ(info.FileDescription, "");
    EXPECT_EQ(info.FileVersion, "");
    EXPECT_EQ(info.InternalName, "");
    EXPECT_EQ(info.LegalCopyright, "");
    EXPECT_EQ(info.LegalTrademarks, "");
    EXPECT_EQ(info.OriginalFilename, "");
    EXPECT_EQ(info.ProductName, "");
    EXPECT_EQ(info.ProductVersion, "");
    EXPECT_EQ(info.Comments, "");
    EXPECT_EQ(info.SpecialBuild, "");
    EXPECT_EQ(info.PrivateBuild, "");
    EXPECT_EQ(info.FileType, "");
    EXPECT_FALSE(info.Debug || info.PreRelease || info.Patched || info.PrivateBuildFlag ||
                 info.InfoInferred || info.SpecialBuildFlag);
}

TEST(ReadFileVersionInfo, ReadsTheProgramsOwnVersionData) {
    const TFileVersionInfo info = ReadFileVersionInfo(kSelf);
    EXPECT_EQ(info.CompanyName, "Morvane");
    EXPECT_EQ(info.FileVersion, QUILLON_PROJECT_VERSION);
    EXPECT_EQ(info.ProductVersion, QUILLON_PROJECT_VERSION);
    EXPECT_EQ(info.ProductName, "Quillon-Utility");
    EXPECT_NE(info.LegalCopyright.find("Morvane"), std::string::npos);
    EXPECT_FALSE(info.Comments.empty());
    EXPECT_EQ(info.FileType, "Application");
#ifdef NDEBUG
    EXPECT_FALSE(info.Debug);
#else
    EXPECT_TRUE(info.Debug);
#endif
    EXPECT_FALSE(info.Patched);
    EXPECT_FALSE(info.InfoInferred);
    EXPECT_EQ(info.SpecialBuildFlag, !info.SpecialBuild.empty());
    EXPECT_EQ(info.PrivateBuildFlag, !info.PrivateBuild.empty());
}

TEST(ReadFileVersionInfo, ReadsAnotherBuildsVersionFromItsFile) {
    test::ExpectSampleVersionData(ReadFileVersionInfo(QUILLON_SAMPLE_PROGRAM));
}

TEST(ReadFileVersionInfo, FlagsNeedTheirBitInTheMaskToo) {
    TempDir dir;
    test::TElfImage image({});
    image.AddNote("Quillon", 1,
                  test::VersionDescriptor({{"FileVersion", "9.9"}}, 0x3F, 0x05, 5, 0x1234, false));
    const TFileVersionInfo info = ReadFileVersionInfo(dir.WriteBytes("masked", image.Build()));
    EXPECT_EQ(info.FileVersion, "9.9");
    EXPECT_TRUE(info.Debug);
    EXPECT_FALSE(info.PreRelease);
    EXPECT_TRUE(info.Patched);
    EXPECT_FALSE(info.PrivateBuildFlag || info.InfoInferred || info.SpecialBuildFlag);
    EXPECT_EQ(info.FileType, "Virtual Defice Identifier = 00001234");
}

TEST(ReadFileVersionInfo, TextFileHasNoVersionData) {
    TempDir dir;
    const std::string text = "FileVersion 1.0.1.0\nCompanyName Morvane\n";
    const auto path = dir.WriteBytes("notes.txt", {text.begin(), text.end()});
    ExpectNoVersionData(ReadFileVersionInfo(path));
}

TEST(ReadFileVersionInfo, TruncatedProgramHasNoVersionData) {
    TempDir dir;
    const auto self = ReadAll(kSelf);
    ASSERT_GT(self.size(), 4096u);
    for (const size_t length :
         {size_t{0}, size_t{3}, size_t{16}, size_t{63}, size_t{64}, size_t{200}}) {
        const auto path =
            dir.WriteBytes("cut", {self.begin(), self.begin() + static_cast<long>(length)});
        ExpectNoVersionData(ReadFileVersionInfo(path));
    }
}

TEST(ReadFileVersionInfo, CorruptProgramHeadersGiveNoVersionDataOrTheRightOne) {
    TempDir dir;
    const auto self = ReadAll(kSelf);
    ASSERT_GT(self.size(), 64u);
    // Section and program header tables moved beyond the end of the file: nothing to find.
    auto bad = self;
    for (size_t i = 32; i < 48; ++i) {
        bad[i] = 0xFF;
    }
    ExpectNoVersionData(ReadFileVersionInfo(dir.WriteBytes("far-tables", bad)));

    // Every table count and entry size set to its maximum: bounded work, no crash, and if
    // anything is found it is the program's own data.
    bad = self;
    for (size_t i = 54; i < 64; ++i) {
        bad[i] = 0xFF;
    }
    const TFileVersionInfo info = ReadFileVersionInfo(dir.WriteBytes("wild-counts", bad));
    if (!info.CompanyName.empty()) {
        EXPECT_EQ(info.CompanyName, "Morvane");
    }
}

TEST(ReadFileVersionInfo, ProgramWithoutExecutePermissionIsNotReadAsOne) {
    TempDir dir;
    const auto path = dir.WriteBytes("copy", ReadAll(kSelf), false);
    ExpectNoVersionData(ReadFileVersionInfo(path));
    chmod(path.c_str(), 0700);
    EXPECT_EQ(ReadFileVersionInfo(path).CompanyName, "Morvane");
}

TEST(ReadFileVersionInfo, MissingFilesDirectoriesAndPipesGiveNothing) {
    TempDir dir;
    ExpectNoVersionData(ReadFileVersionInfo((dir.Path() / "absent").string()));
    ExpectNoVersionData(ReadFileVersionInfo(dir.Path().string()));
    const auto fifo = (dir.Path() / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0700), 0);
    ExpectNoVersionData(ReadFileVersionInfo(fifo));  // must not block waiting for a writer
    EXPECT_TRUE(TVersionResource::Load(fifo).Empty());
}

TEST(ReadFileVersionInfo, TypeNameComesFromTheNamerCutToEightyCharacters) {
    TempDir dir;
    const auto path = dir.WriteBytes("notes.txt", {'x'});
    std::string seen;
    const auto info = ReadFileVersionInfo(path, [&](const std::string& p) {
        seen = p;
        return std::string(100, 'n');
    });
    EXPECT_EQ(seen, path);
    EXPECT_EQ(info.TypeName, std::string(80, 'n'));
    EXPECT_EQ(ReadFileVersionInfo(path).TypeName, "");
}

TEST(VersionResource, QueryVersionStringIgnoresAsciiCaseAndKnowsAbsentKeys) {
    const TVersionResource resource = TVersionResource::Load(kSelf);
    ASSERT_FALSE(resource.Empty());
    EXPECT_EQ(resource.QueryVersionString("CompanyName"), "Morvane");
    EXPECT_EQ(resource.QueryVersionString("companyname"), "Morvane");
    EXPECT_EQ(resource.QueryVersionString("LegalCopyright"),
              resource.QueryVersionString("LegalCopyRight"));
    EXPECT_EQ(resource.QueryVersionString("NoSuchKey"), "");
    EXPECT_EQ(resource.QueryVersionString(""), "");
    EXPECT_EQ(TVersionResource::Load("/nonexistent").QueryVersionString("CompanyName"), "");
}

TEST(IsExecutableFile, NeedsAnExecutableHeaderAndPermission) {
    TempDir dir;
    const std::string script = "#!/bin/sh\nexit 0\n";
    EXPECT_FALSE(IsExecutableFile(dir.WriteBytes("script", {script.begin(), script.end()})));
    EXPECT_TRUE(IsExecutableFile(kSelf));
    EXPECT_TRUE(IsExecutableFile(QUILLON_SAMPLE_PROGRAM));
    EXPECT_FALSE(IsExecutableFile(dir.WriteBytes("object", test::TElfImage({.Type = 1}).Build())));
}

}  // namespace
}  // namespace quillon
