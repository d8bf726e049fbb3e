#include <windows.h>

#include <shellapi.h>

#include "base/windows/WideText.h"
#include "info/FileTypeName.h"

namespace quillon {

std::string FileTypeName(const std::string& path) {
    // By the name alone: the shell neither opens the file nor needs it to exist.
    SHFILEINFOW shellInfo{};
    if (SHGetFileInfoW(Utf16(path).c_str(), FILE_ATTRIBUTE_NORMAL, &shellInfo, sizeof shellInfo,
                       SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES) == 0) {
        return {};
    }
    return Utf8(shellInfo.szTypeName);
}

}  // namespace quillon
