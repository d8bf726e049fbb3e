#include "device/ReportText.h"

#include <algorithm>
#include <cstdio>

namespace quillon {

uint8_t ParseHexByte(std::string_view text, uint32_t fallback) {
    constexpr size_t kMaxDigits = 8;  // 32 bits
    // Leading zeros do not count against the 32 bits: "000000001FF" is still 0x1FF.
    const size_t firstSignificant = text.find_first_not_of('0');
    const std::string_view significant = firstSignificant == std::string_view::npos
                                             ? std::string_view()
                                             : text.substr(firstSignificant);
    if (text.empty() || significant.size() > kMaxDigits) {
        return static_cast<uint8_t>(fallback);
    }
    uint32_t value = 0;
    for (const char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            return static_cast<uint8_t>(fallback);
        }
        value = (value << 4) | digit;
    }
    return static_cast<uint8_t>(value);
}

std::string FormatHexByte(uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value);
    return text;
}

std::string FormatHexBytes(const uint8_t* bytes, size_t count) {
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        text += FormatHexByte(bytes[i]);
        text += ' ';
    }
    return text;
}

std::string HistoryLine(char letter, uint8_t reportId, const uint8_t* data, size_t size) {
    std::string line;
    line.reserve(5 + 3 * size);
    line += letter;
    line += ' ';
    line += FormatHexByte(reportId);
    line += "  ";
    line += FormatHexBytes(data, size);
    return line;
}

std::string FailedTransferLine(char letter, uint8_t reportId, std::string_view reason) {
    std::string line = HistoryLine(letter, reportId, nullptr, 0);
    line += "failed";
    if (!reason.empty()) {
        line += ": ";
        line += reason;
    }
    return line;
}

std::string CleanSystemMessage(std::string_view message) {
    constexpr size_t kMaxLength = 256;
    std::string text(message.substr(0, kMaxLength));
    const auto trimmed = [](unsigned char c) { return c <= ' ' || c == '.' || c == 0x7F; };
    while (!text.empty() && trimmed(static_cast<unsigned char>(text.back()))) {
        text.pop_back();
    }
    return text;
}

std::string DeviceEntryText(std::string_view product, uint16_t vendorId, uint16_t productId) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "VID=%04X PID=%04X", vendorId, productId);
    if (product.empty()) {
        return std::string("Not Supported Device ") + ids;
    }
    return std::string(product) + " - " + ids;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string utf8;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00u);
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
        }
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | (code >> 6));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (code >> 12));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (code >> 18));
            utf8 += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

}  // namespace quillon
