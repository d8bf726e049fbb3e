#pragma once

#include <filesystem>
#include <random>
#include <string>

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
