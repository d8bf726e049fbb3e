#pragma once

#include <cstdint>

namespace quillon::firmware {

// The digit rule of the update file: (character AND 0x4F), less 0x37 when that exceeds 9,
// in 8-bit arithmetic. Upper- and lower-case hexadecimal digits give their usual values;
// other characters give whatever the rule yields, so callers that need validity check it
// with IsHexDigit first.
constexpr uint8_t HexDigitValue(char c) {
    uint8_t v = static_cast<uint8_t>(static_cast<uint8_t>(c) & 0x4F);
    if (v > 9) {
        v = static_cast<uint8_t>(v - 0x37);
    }
    return v;
}

constexpr bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace quillon::firmware
