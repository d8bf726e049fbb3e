#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/TempDirectory.h"

namespace quillon::test {

// A fresh directory, removed with everything in it at the end of the test.
class TTempDir {
  public:
    TTempDir() { path_ = MakeTempDirectory("quillon-info-"); }
    ~TTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes,
                      bool executable = true) const {
        const auto file = path_ / name;
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        using std::filesystem::perms;
        std::filesystem::permissions(
            file, executable ? perms::owner_all : perms::owner_read | perms::owner_write);
        return file.string();
    }

  private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quillon::test
