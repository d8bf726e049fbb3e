#include "config/ConfigFile.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;

class ConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quillon-cfg-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override {
        ::chmod(folder_.c_str(), 0700);
        fs::remove_all(folder_);
    }

    std::string PathOf(const std::string& name) const { return (folder_ / name).string(); }

    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    std::vector<std::string> FolderEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    static ReportBuffer Pattern(uint8_t seed) {
        ReportBuffer buffer{};
        for (size_t i = 0; i < buffer.size(); ++i) {
            buffer[i] = static_cast<uint8_t>(seed + i * 7);
        }
        buffer[0] = SettingsReportId;
        return buffer;
    }

    fs::path folder_;
};

// Runs the save in a child process that cannot do what root may, so that permissions and
// limits bite also when the tests run as root. Returns the save's result.
ConfigFileResult SaveInRestrictedChild(const std::function<void()>& restrict,
                                       const std::string& path, const ReportBuffer& buffer) {
    const pid_t child = ::fork();
    if (child == 0) {
        restrict();
        ::_exit(static_cast<int>(SaveConfigFile(path, buffer)));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    return static_cast<ConfigFileResult>(WEXITSTATUS(status));
}

void BecomeNobody() {
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
        const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
        if (::setgid(gid) != 0 || ::setuid(uid) != 0) {
            ::_exit(100);
        }
    }
}

TEST_F(ConfigFileTest, SavedFileLoadsBackWithTheAdapterVersionKept) {
    const ReportBuffer saved = Pattern(11);
    const std::string path = PathOf("settings.cfg");
    ASSERT_EQ(SaveConfigFile(path, saved), ConfigFileResult::Ok);
    EXPECT_EQ(fs::file_size(path), kConfigFileSize);

    ReportBuffer loaded = Pattern(99);
    loaded[DeviceSettings::Version] = 42;
    const uint8_t lastByte = loaded[64];
    ASSERT_EQ(LoadConfigFile(path, loaded), ConfigFileResult::Ok);
    for (size_t i = 0; i < kConfigFileSize; ++i) {
        if (i != DeviceSettings::Version) {
            EXPECT_EQ(loaded[i], saved[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(loaded[DeviceSettings::Version], 42);
    EXPECT_EQ(loaded[64], lastByte);  // not part of a file
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"settings.cfg"});
}

TEST_F(ConfigFileTest, ShortFileReplacesOnlyTheBytesItHolds) {
    const std::string path = PathOf("short.cfg");
    WriteBytes(path, {3, 200, 1, 8, 5, 6, 0, 1, 1, 1});
    ReportBuffer buffer = Pattern(5);
    const ReportBuffer before = buffer;
    ASSERT_EQ(LoadConfigFile(path, buffer), ConfigFileResult::Ok);
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[1], before[1]);
    EXPECT_EQ(buffer[3], 8);
    EXPECT_EQ(buffer[9], 1);
    for (size_t i = 10; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], before[i]) << "byte " << i;
    }
}

TEST_F(ConfigFileTest, FileOfAnotherReportLoadsAsItIsAndDecodesToNothing) {
    const std::string path = PathOf("raw.cfg");
    std::vector<uint8_t> bytes(kConfigFileSize, 0x11);
    bytes[0] = 6;
    WriteBytes(path, bytes);
    ReportBuffer buffer = Pattern(1);
    ASSERT_EQ(LoadConfigFile(path, buffer), ConfigFileResult::Ok);
    EXPECT_EQ(buffer[0], 6);
    EXPECT_EQ(buffer[13], 0x11);
    EXPECT_FALSE(DecodeSettings(buffer).has_value());
}

TEST_F(ConfigFileTest, BytesAfterTheSixtyFourthAreIgnored) {
    const std::string path = PathOf("long.cfg");
    std::vector<uint8_t> bytes(100, 0x22);
    bytes[0] = 3;
    WriteBytes(path, bytes);
    ReportBuffer buffer{};
    buffer[64] = 0x77;
    ASSERT_EQ(LoadConfigFile(path, buffer), ConfigFileResult::Ok);
    EXPECT_EQ(buffer[63], 0x22);
    EXPECT_EQ(buffer[64], 0x77);
}

TEST_F(ConfigFileTest, MissingAndUnreadablePathsAreToldApartAndLeaveTheBufferAlone) {
    ReportBuffer buffer = Pattern(3);
    const ReportBuffer before = buffer;
    const std::string missing = PathOf("nothing.cfg");
    EXPECT_EQ(LoadConfigFile(missing, buffer), ConfigFileResult::FileNotFound);
    EXPECT_EQ(LoadConfigFile(PathOf("no/such/folder.cfg"), buffer), ConfigFileResult::FileNotFound);
    // A folder exists but is no file to read.
    EXPECT_EQ(LoadConfigFile(folder_.string(), buffer), ConfigFileResult::UnableToOpen);
    // Nor is a named pipe, which must not block the program waiting for a writer.
    const std::string pipe = PathOf("pipe.cfg");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(LoadConfigFile(pipe, buffer), ConfigFileResult::UnableToOpen);
    EXPECT_EQ(buffer, before);

    EXPECT_EQ(ConfigFileMessage(ConfigFileResult::FileNotFound, "/a.cfg"),
              "file not found: /a.cfg");
    EXPECT_EQ(ConfigFileMessage(ConfigFileResult::UnableToOpen, "/a.cfg"),
              "unable to open file: /a.cfg");
    EXPECT_EQ(ConfigFileMessage(ConfigFileResult::UnableToCreate, "/a.cfg"),
              "unable to create file: /a.cfg");
}

TEST_F(ConfigFileTest, SavingReplacesALongerFileWholeAndKeepsItsMode) {
    const std::string path = PathOf("old.cfg");
    WriteBytes(path, std::vector<uint8_t>(500, 0xEE));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const ReportBuffer buffer = Pattern(21);
    ASSERT_EQ(SaveConfigFile(path, buffer), ConfigFileResult::Ok);
    const std::vector<uint8_t> expected(buffer.begin(), buffer.begin() + kConfigFileSize);
    EXPECT_EQ(ReadBytes(path), expected);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(ConfigFileTest, SavingKeepsTheOwnerAndGroupOfTheOldFile) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can make files of another owner";
    }
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
    const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
    const auto ownerOf = [](const std::string& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return std::tuple(info.st_uid, info.st_gid, info.st_mode & 07777);
    };
    // Root replaces the file and gives it back to its owner.
    const std::string theirs = PathOf("theirs.cfg");
    WriteBytes(theirs, std::vector<uint8_t>(500, 0xEE));
    ASSERT_EQ(::chown(theirs.c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(theirs.c_str(), 0640), 0);
    ASSERT_EQ(SaveConfigFile(theirs, Pattern(1)), ConfigFileResult::Ok);
    EXPECT_EQ(ownerOf(theirs), std::tuple(uid, gid, 0640u));
    EXPECT_EQ(fs::file_size(theirs), kConfigFileSize);

    // Another user may write root's file but not give a new one to root: written in place.
    const std::string roots = PathOf("roots.cfg");
    WriteBytes(roots, std::vector<uint8_t>(500, 0xEE));
    ASSERT_EQ(::chmod(roots.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder_.c_str(), 0777), 0);
    EXPECT_EQ(SaveInRestrictedChild(BecomeNobody, roots, Pattern(2)), ConfigFileResult::Ok);
    EXPECT_EQ(ownerOf(roots), std::tuple(0u, 0u, 0666u));
    EXPECT_EQ(fs::file_size(roots), kConfigFileSize);
}

TEST_F(ConfigFileTest, SaveIntoAFolderWithoutWriteAccessLeavesTheOldFileIntact) {
    const std::string path = PathOf("kept.cfg");
    const std::vector<uint8_t> old(kConfigFileSize, 0x33);
    WriteBytes(path, old);
    ASSERT_EQ(::chmod(folder_.c_str(), 0555), 0);
    EXPECT_EQ(SaveInRestrictedChild(BecomeNobody, path, Pattern(7)),
              ConfigFileResult::UnableToCreate);
    ::chmod(folder_.c_str(), 0700);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"kept.cfg"});
}

TEST_F(ConfigFileTest, WriteThatFailsHalfWayRemovesItsTemporaryFileAndKeepsTheOldOne) {
    const std::string path = PathOf("kept.cfg");
    const std::vector<uint8_t> old(kConfigFileSize, 0x44);
    WriteBytes(path, old);
    // A file-size limit of 10 bytes: the temporary file is created, its write fails.
    const auto limitFileSize = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    EXPECT_EQ(SaveInRestrictedChild(limitFileSize, path, Pattern(8)),
              ConfigFileResult::UnableToCreate);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"kept.cfg"});
}

TEST_F(ConfigFileTest, SaveOverAFolderFailsWithoutLeavingAnything) {
    const std::string path = PathOf("folder.cfg");
    fs::create_directory(path);
    EXPECT_EQ(SaveConfigFile(path, Pattern(9)), ConfigFileResult::UnableToCreate);
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"folder.cfg"});
}

}  // namespace
}  // namespace quillon
