#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::cli {

// A byte typed as hexadecimal digits, as on the raw-report page: no sign or blanks, at most
// 32 bits, of which the low 8 are used ("3" is 03, "1FF" is FF). An optional "0x" is allowed.
// Unlike the page, which quietly takes 0 for anything else, the tool refuses other text.
std::optional<uint8_t> ParseHexByteStrict(std::string_view text);

// "%.2X": at least two upper-case digits.
std::string HexByteText(uint8_t value);

// Each byte as two upper-case digits and a blank ("11 22 33 ").
std::string FormatHexBytes(const uint8_t* bytes, size_t count);

// A line of the report history: the letter ('R' read or input report, 'W' written), the report
// ID and the data bytes after it: "R 03  11 22 33 ".
std::string HistoryLine(char kind, uint8_t reportId, const uint8_t* data, size_t count);

}  // namespace quillon::cli
