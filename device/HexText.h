#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device/ReportText.h"

namespace quillon {

// A byte typed as hexadecimal digits, as on the raw-report page: no sign or blanks, at most
// 32 bits, of which the low 8 are used ("3" is 03, "1FF" is FF). An optional "0x" is allowed.
// Unlike the page, which quietly takes 0 for anything else, the tool refuses other text.
std::optional<uint8_t> ParseHexByteStrict(std::string_view text);

// Four hexadecimal digits, as the tool shows vendor and product IDs and version numbers
// ("169B"); `list` has always written them in lower case ("169b").
enum class HexLetters { Upper, Lower };
std::string FourHexDigits(uint16_t value, HexLetters letters = HexLetters::Upper);

}  // namespace quillon
