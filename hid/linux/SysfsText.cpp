#include "hid/linux/SysfsText.h"

namespace quillon::linuxhid {
namespace {

std::optional<uint32_t> ParseHexField(std::string_view text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) {
        return std::nullopt;
    }
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = uint32_t(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = uint32_t(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = uint32_t(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return value;
}

// One or more decimal digits.
bool IsNumber(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "B-P" or "B-P.P...": a bus number, a dash, and the port numbers joined by dots.
bool IsUsbPortName(std::string_view name) {
    const size_t dash = name.find('-');
    if (dash == std::string_view::npos || !IsNumber(name.substr(0, dash))) {
        return false;
    }
    std::string_view ports = name.substr(dash + 1);
    while (true) {
        const size_t dot = ports.find('.');
        if (!IsNumber(ports.substr(0, dot))) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        ports.remove_prefix(dot + 1);
    }
}

}  // namespace

std::optional<std::string> UeventValue(std::string_view uevent, std::string_view key) {
    while (!uevent.empty()) {
        const size_t end = uevent.find('\n');
        const std::string_view line = uevent.substr(0, end);
        if (line.size() > key.size() && line.substr(0, key.size()) == key &&
            line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
        if (end == std::string_view::npos) {
            break;
        }
        uevent.remove_prefix(end + 1);
    }
    return std::nullopt;
}

std::optional<HidId> ParseHidId(std::string_view value) {
    const size_t first = value.find(':');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t second = value.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto bus = ParseHexField(value.substr(0, first), 8);
    const auto vendor = ParseHexField(value.substr(first + 1, second - first - 1), 8);
    const auto product = ParseHexField(value.substr(second + 1), 8);
    // The kernel prints 32-bit fields, but vendor and product are 16-bit quantities.
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) {
        return std::nullopt;
    }
    return HidId{*bus, uint16_t(*vendor), uint16_t(*product)};
}

std::optional<uint16_t> ParseHex16(std::string_view text) {
    const auto value = ParseHexField(TrimLineEnd(text), 4);
    if (!value) {
        return std::nullopt;
    }
    return uint16_t(*value);
}

std::string_view TrimLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<unsigned long> ParseHidrawNumber(std::string_view name) {
    constexpr std::string_view kPrefix = "hidraw";
    // Nine digits fit any unsigned long; the kernel counts far lower.
    if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 9 ||
        name.substr(0, kPrefix.size()) != kPrefix || !IsNumber(name.substr(kPrefix.size()))) {
        return std::nullopt;
    }
    unsigned long number = 0;
    for (const char c : name.substr(kPrefix.size())) {
        number = number * 10 + unsigned(c - '0');
    }
    return number;
}

std::string UsbPortOfDevicePath(std::string_view path) {
    std::string_view port;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view name = path.substr(0, slash);
        if (IsUsbPortName(name)) {
            port = name;
        }
        if (slash == std::string_view::npos) {
            break;
        }
        path.remove_prefix(slash + 1);
    }
    return std::string(port);
}

std::u16string Utf8ToUtf16(std::string_view text) {
    constexpr char32_t kReplacement = 0xFFFD;
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = uint8_t(text[i]);
        size_t length = 0;
        char32_t code = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            code = lead & 0x1F;
            minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            code = lead & 0x0F;
            minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            code = lead & 0x07;
            minimum = 0x10000;
        } else {
            out.push_back(char16_t(kReplacement));
            ++i;
            continue;
        }
        size_t taken = 1;
        while (taken < length && i + taken < text.size() &&
               (uint8_t(text[i + taken]) & 0xC0) == 0x80) {
            code = (code << 6) | (uint8_t(text[i + taken]) & 0x3F);
            ++taken;
        }
        i += taken;
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (taken < length || code < minimum || code > 0x10FFFF || surrogate) {
            out.push_back(char16_t(kReplacement));
        } else if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(char16_t(0xD800 + (code >> 10)));
            out.push_back(char16_t(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(char16_t(code));
        }
    }
    return out;
}

}  // namespace quillon::linuxhid
