#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "config/ConfigFile.h"
#include "tests/TempDirectory.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;

class WindowsConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_FALSE(folder_.empty()); }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }
    size_t FolderEntries() const {
        return size_t(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
    }

    // The C runtime's stat always says one link; the system knows better.
    static DWORD LinkCount(const std::string& path) {
        const HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info{};
        const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return known ? info.nNumberOfLinks : 0;
    }

    static ReportBuffer Pattern(uint8_t seed) {
        ReportBuffer buffer{};
        for (size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<uint8_t>(seed + i * 7);
        }
        return buffer;
    }

    fs::path folder_ = test::MakeTempDirectory("quillon-cfg-");
};

TEST_F(WindowsConfigFileTest, SaveReplacesAnOldFileWholeAndLoadsBack) {
    const std::string path = PathOf("adapter.cfg");
    std::ofstream(path, std::ios::binary) << std::string(100, 'x');
    const ReportBuffer saved = Pattern(3);
    ASSERT_EQ(SaveConfigFile(path, saved), ConfigFileResult::Ok);
    EXPECT_EQ(fs::file_size(path), kConfigFileSize);
    EXPECT_EQ(FolderEntries(), 1u);  // no temporary file left behind

    ReportBuffer loaded = Pattern(9);
    ASSERT_EQ(LoadConfigFile(path, loaded), ConfigFileResult::Ok);
    for (size_t i = 0; i < kConfigFileSize; ++i) {
        if (i != DeviceSettings::Version) {
            EXPECT_EQ(loaded[i], saved[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(loaded[DeviceSettings::Version], Pattern(9)[DeviceSettings::Version]);
}

// A file with a second name is one file: replacing it would leave the other name with the old
// settings, so it is written where it is, and both names read the new ones.
TEST_F(WindowsConfigFileTest, SaveWritesAFileWithTwoNamesInPlace) {
    const std::string path = PathOf("adapter.cfg");
    const std::string otherName = PathOf("bench-copy.cfg");
    ASSERT_EQ(SaveConfigFile(path, Pattern(1)), ConfigFileResult::Ok);
    fs::create_hard_link(path, otherName);
    ASSERT_EQ(LinkCount(otherName), 2u);
    const ReportBuffer saved = Pattern(4);
    ASSERT_EQ(SaveConfigFile(path, saved), ConfigFileResult::Ok);
    EXPECT_EQ(LinkCount(path), 2u);
    EXPECT_EQ(fs::file_size(otherName), kConfigFileSize);
    ReportBuffer loaded = Pattern(9);
    ASSERT_EQ(LoadConfigFile(otherName, loaded), ConfigFileResult::Ok);
    for (size_t i = 0; i < kConfigFileSize; ++i) {
        if (i != DeviceSettings::Version) {
            EXPECT_EQ(loaded[i], saved[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(FolderEntries(), 2u);
}

TEST_F(WindowsConfigFileTest, FolderAndMissingPathsAreRefusedAndLeftAlone) {
    ReportBuffer buffer = Pattern(5);
    EXPECT_EQ(LoadConfigFile(PathOf("missing.cfg"), buffer), ConfigFileResult::FileNotFound);
    fs::create_directory(PathOf("folder.cfg"));
    EXPECT_EQ(LoadConfigFile(PathOf("folder.cfg"), buffer), ConfigFileResult::UnableToOpen);
    EXPECT_EQ(buffer, Pattern(5));

    EXPECT_EQ(SaveConfigFile(PathOf("folder.cfg"), buffer), ConfigFileResult::UnableToCreate);
    EXPECT_TRUE(fs::is_directory(PathOf("folder.cfg")));
    // A device is no file to replace.
    EXPECT_EQ(SaveConfigFile("NUL", buffer), ConfigFileResult::UnableToCreate);
    EXPECT_EQ(FolderEntries(), 1u);
}

}  // namespace
}  // namespace quillon
