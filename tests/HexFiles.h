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

// An update file as users have tried them, and the text it must be refused with; an empty
// Refusal means the file is sound and holds PatternImage().
struct UpdateFileCase {
    std::string Name;
    std::string Content;
    std::string Refusal;
};

inline std::vector<UpdateFileCase> UpdateFileCases() {
    const std::string whole = HexFileFor(PatternImage());  // 640 data lines, then the end record
    std::vector<std::string> lines;
    for (size_t from = 0; from < whole.size();) {
        const size_t end = whole.find("\r\n", from);
        lines.push_back(whole.substr(from, end - from));
        from = end + 2;
    }
    const auto join = [&](const std::string& before, const std::string& after, size_t count) {
        std::string text;
        for (size_t i = 0; i < count; ++i) {
            text += before + lines[i] + after + "\r\n";
        }
        return text;
    };
    std::string garbage = "\x7F";
    for (uint32_t state = 1; garbage.size() < 4096;) {
        state = state * 1103515245u + 12345u;
        garbage += char(state >> 24);
    }
    const std::string invalid = "ERROR: invalid update file";
    const std::string cutShort = ": the file ends before its end-of-file record";
    return {
        {"empty file", "", invalid + ", line 1" + cutShort},
        {"binary garbage", garbage,
         invalid + ", line 1: not a record (it starts with 0x7F, not ':')"},
        {"process status text", "Name:\tcat\nUmask:\t0022\nState:\tR (running)\n",
         invalid + ", line 1: not a record (it starts with 'N', not ':')"},
        {"records outside the firmware area",
         HexRecord(0, 0x0000, std::vector<uint8_t>(16, 1)) + "\n" +
             HexRecord(0, 0x13F0, std::vector<uint8_t>(16, 2)) + "\n" +
             HexRecord(0, 0x3C00, std::vector<uint8_t>(16, 3)) + "\n:00000001FF\n",
         invalid + ": no data for the adapter's firmware area"},
        {"tab-indented", join("\t", "", lines.size()), ""},
        {"cut short at a line end", join("", "", lines.size() - 1),
         invalid + ", line 640" + cutShort},
        {"Ctrl+Z line in the middle", join("", "", 100) + "\x1A\r\n" + whole,
         invalid + ", line 101" + cutShort},
        {"byte-order mark", "\xEF\xBB\xBF" + whole, ""},
        {"blanks around records", join(" ", " \t", lines.size()), ""},
        {"Ctrl+Z after the end record", whole + "\x1A", ""},
        {"record after the end record", whole + HexRecord(0, 0x1400, {0}) + "\r\n",
         invalid + ", line 642: text after the end-of-file record"},
    };
}

}  // namespace quillon::testing
