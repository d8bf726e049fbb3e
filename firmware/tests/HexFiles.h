#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/FirmwareImage.h"
#include "tests/TempDirectory.h"

namespace quillon::testing {

// One Intel HEX record line (without line end), checksum computed.
inline std::string HexRecord(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    std::string line = ":";
    char digits[3];
    unsigned sum = 0;
    auto put = [&](uint8_t byte) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        line += digits;
        sum += byte;
    };
    put(uint8_t(data.size()));
    put(uint8_t(address >> 8));
    put(uint8_t(address & 0xFF));
    put(type);
    for (uint8_t byte : data) {
        put(byte);
    }
    put(uint8_t(-sum));
    return line;
}

// A HEX file holding the whole image in 16-byte records at its device addresses.
inline std::string HexFileFor(const firmware::FirmwareImage& image) {
    std::string text;
    for (size_t offset = 0; offset < image.size(); offset += 16) {
        std::vector<uint8_t> data(image.begin() + offset, image.begin() + offset + 16);
        text += HexRecord(0, uint16_t(firmware::kImageBase + offset), data) + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

// An image whose bytes differ from block to block and from the fill value.
inline firmware::FirmwareImage PatternImage() {
    firmware::FirmwareImage image;
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = uint8_t((i * 7 + i / 512) & 0xFF);
    }
    return image;
}

// A folder of its own for one test's files, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir() { path_ = quillon::test::MakeTempDirectory("quillon-fw-"); }
    ~TempDir() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    std::string Write(const std::string& name, const std::string& content) const {
        const std::string file = (path_ / name).string();
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }
    std::string PathOf(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace quillon::testing
