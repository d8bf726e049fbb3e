#include "info/windows/WideText.h"

#include <windows.h>

namespace quillon::info {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int length = int(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(size_t(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring Utf16(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = int(text.size());
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring result(size_t(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), size);
    return result;
}

}  // namespace quillon::info
