#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "device/Adapter.h"

namespace quillon {

// Hexadecimal text typed by the user: digits 0-9 and A-F in either case, nothing else (no
// blanks, no sign, no prefix), at most 32 bits. Anything else, empty text included, gives
// fallback. Only the low 8 bits count.
uint8_t ParseHexByte(std::string_view text, uint32_t fallback);

// At least two upper-case hexadecimal digits: 3 -> "03", 171 -> "AB".
std::string FormatHexByte(uint8_t value);

// Each byte as two upper-case digits and a blank ("11 22 33 ").
std::string FormatHexBytes(const uint8_t* bytes, size_t count);

// A history line: the letter, a blank, the report ID, two blanks, then each data byte followed
// by a blank ("R 03  11 22 33 ").
std::string HistoryLine(char letter, uint8_t reportId, const uint8_t* data, size_t size);

// The line of a transfer that failed: its head as above with the reason in place of the bytes.
std::string FailedTransferLine(char letter, uint8_t reportId, std::string_view reason);

// The system's text for an error, fit for one history line: at most 256 characters, with
// trailing blanks, control characters and full stops removed.
std::string CleanSystemMessage(std::string_view message);

// The device list's text for an adapter: the product string followed by " - VID=169B PID=0110",
// or "Not Supported Device VID=169B PID=0110" when the product string is empty. product is
// UTF-8.
std::string DeviceEntryText(std::string_view product, uint16_t vendorId, uint16_t productId);

// An adapter's string (UTF-16, as the HID layer gives it) in UTF-8; a lone surrogate becomes
// U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace quillon
