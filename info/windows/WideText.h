#pragma once

#include <string>

namespace quillon::info {

// Windows speaks UTF-16; the rest of the program keeps paths and texts in UTF-8.
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& text);

}  // namespace quillon::info
