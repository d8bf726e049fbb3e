#include <gtest/gtest.h>

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
    EXPECT_EQ(fs::file_size(path), ConfigFileSize);
    EXPECT_EQ(FolderEntries(), 1u);  // no temporary file left behind

    ReportBuffer loaded = Pattern(9);
    ASSERT_EQ(LoadConfigFile(path, loaded), ConfigFileResult::Ok);
    for (size_t i = 0; i < ConfigFileSize; ++i) {
        if (i != DeviceSettings::Version) {
            EXPECT_EQ(loaded[i], saved[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(loaded[DeviceSettings::Version], Pattern(9)[DeviceSettings::Version]);
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
