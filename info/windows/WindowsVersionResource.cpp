#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "base/windows/WideText.h"
#include "info/VersionResource.h"

namespace quillon {

TVersionResource TVersionResource::Load(const std::string& path) {
    TVersionResource resource;
    const std::wstring widePath = Utf16(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
    if (size == 0) {
        return resource;
    }
    resource.block_.resize(size);
    if (!GetFileVersionInfoW(widePath.c_str(), 0, size, resource.block_.data())) {
        resource.block_.clear();
    }
    return resource;
}

bool TVersionResource::Empty() const {
    return block_.empty();
}

std::string TVersionResource::QueryVersionString(std::string_view key) const {
    if (block_.empty()) {
        return {};
    }
    // VerQueryValueW does not write to the block, but takes it as a plain pointer.
    void* block = const_cast<unsigned char*>(block_.data());
    void* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueW(block, L"\\VarFileInfo\\Translation", &translation, &translationSize) ||
        translation == nullptr || translationSize < 2 * sizeof(WORD)) {
        return {};
    }
    const WORD* languageAndCodePage = static_cast<const WORD*>(translation);
    wchar_t table[32];
    std::swprintf(table, sizeof table / sizeof table[0], L"\\StringFileInfo\\%04X%04X\\",
                  languageAndCodePage[0], languageAndCodePage[1]);
    const std::wstring valuePath = table + Utf16(std::string(key));
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block, valuePath.c_str(), &value, &length) || value == nullptr) {
        return {};
    }
    // The length counts characters, the terminating NUL among them when the value has one.
    std::wstring text(static_cast<const wchar_t*>(value), length);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return Utf8(text);
}

std::optional<TFixedFileInfo> TVersionResource::FixedFileInfo() const {
    if (block_.empty()) {
        return std::nullopt;
    }
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueW(const_cast<unsigned char*>(block_.data()), L"\\", &value, &size) ||
        value == nullptr || size < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    if (fixed->dwSignature != VS_FFI_SIGNATURE) {
        return std::nullopt;
    }
    TFixedFileInfo info;
    info.FileFlagsMask = fixed->dwFileFlagsMask;
    info.FileFlags = fixed->dwFileFlags;
    info.FileType = fixed->dwFileType;
    info.FileSubtype = fixed->dwFileSubtype;
    return info;
}

bool IsExecutableFile(const std::string& path) {
    // Nonzero for programs of every kind the shell knows (console, window, old 16-bit ones).
    return SHGetFileInfoW(Utf16(path).c_str(), 0, nullptr, 0, SHGFI_EXETYPE) != 0;
}

}  // namespace quillon
