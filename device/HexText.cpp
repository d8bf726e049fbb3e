#include "device/HexText.h"

#include <cstdio>

namespace quillon {

std::optional<uint8_t> ParseHexByteStrict(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = value * 16 + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFu) {
            return std::nullopt;
        }
    }
    return static_cast<uint8_t>(value & 0xFF);
}

std::string FourHexDigits(uint16_t value, HexLetters letters) {
    char text[8];
    std::snprintf(text, sizeof text, letters == HexLetters::Upper ? "%04X" : "%04x", value);
    return text;
}

}  // namespace quillon
