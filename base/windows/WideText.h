#pragma once

#include <string>

namespace quillon {

// Windows speaks UTF-16; the layer above keeps paths and messages in UTF-8.
std::string Utf8(const wchar_t* text, size_t length);
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& text);

}  // namespace quillon
