#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace quillon::test {

// Creates a new folder of a name nobody uses, in the system's temporary folder, and returns
// its path (empty when none could be made). Works where mkdtemp does not exist (Windows).
inline std::filesystem::path MakeTempDirectory(const std::string& prefix) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / (prefix + std::to_string(random()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace quillon::test

namespace quillon::testing {

// A folder of its own for one test's files, removed with everything in it afterwards.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "quillon-test-")
        : path_(quillon::test::MakeTempDirectory(prefix)) {}
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string PathOf(const std::string& name) const { return (path_ / name).string(); }

    std::string Write(const std::string& name, const std::string& content) const {
        const std::string file = PathOf(name);
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    // Bytes as a program file would hold them; executable unless told otherwise, since the
    // version reader treats programs and other files differently.
    std::string WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes,
                           bool executable = true) const {
        const std::string file = PathOf(name);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        using std::filesystem::perms;
        std::filesystem::permissions(
            file, executable ? perms::owner_all : perms::owner_read | perms::owner_write);
        return file;
    }

  private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quillon::testing
