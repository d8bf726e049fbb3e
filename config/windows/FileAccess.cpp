#include "config/FileAccess.h"

#include <windows.h>

#include <atomic>
#include <vector>

#include "base/windows/UniqueHandle.h"
#include "base/windows/WideText.h"

namespace quillon::file_access {
namespace {

bool IsPlainFile(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool WriteFully(HANDLE handle, std::span<const uint8_t> contents) {
    size_t done = 0;
    while (done < contents.size()) {
        DWORD put = 0;
        if (!WriteFile(handle, contents.data() + done, DWORD(contents.size() - done), &put,
                       nullptr) ||
            put == 0) {
            return false;
        }
        done += put;
    }
    return FlushFileBuffers(handle) != 0;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

std::wstring NameOf(const std::wstring& path) {
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// A file written in place is read first, to be put back should the write fail; a
// configuration file is far smaller.
constexpr LONGLONG kMostKeptInPlace = 1 << 20;

enum class Target { Missing, PlainFile, LinkedFile, Refused };

// Where the file really is: a symbolic link is followed, so that its target is replaced and
// the link stays a link. Anything there that is not a plain file (a device, a pipe, a folder)
// is refused and left alone. A file with more than one name (hard links) is told apart: it is
// written in place, as a replacement would leave its other names with the old contents.
Target ResolveTarget(const std::wstring& path, std::wstring& target) {
    target = path;
    UniqueHandle existing(CreateFileW(path.c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!existing.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? Target::Missing : Target::Refused;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!IsPlainFile(existing.Get()) || !GetFileInformationByHandle(existing.Get(), &info)) {
        return Target::Refused;
    }
    std::wstring final(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(existing.Get(), final.data(), DWORD(final.size()), 0);
    if (length >= final.size()) {
        final.resize(length);
        length = GetFinalPathNameByHandleW(existing.Get(), final.data(), DWORD(final.size()), 0);
    }
    if (length > 0 && length < final.size()) {
        final.resize(length);
        target = final;
    }
    return info.nNumberOfLinks > 1 ? Target::LinkedFile : Target::PlainFile;
}

// A file of a name nobody else uses, beside the target so that the move that replaces the
// target stays on one volume.
HANDLE CreateTemporaryBeside(const std::wstring& target, std::wstring& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    const std::wstring prefix = FolderOf(target) + L"\\." + NameOf(target) + L".tmp-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporaryPath = prefix + std::to_wstring(counter.fetch_add(1));
        const HANDLE handle =
            CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return handle;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Reads what the open file holds now, from its start.
bool ReadAll(HANDLE handle, std::vector<uint8_t>& contents) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size) || size.QuadPart > kMostKeptInPlace) {
        return false;
    }
    contents.resize(size_t(size.QuadPart));
    size_t done = 0;
    while (done < contents.size()) {
        DWORD got = 0;
        if (!ReadFile(handle, contents.data() + done, DWORD(contents.size() - done), &got,
                      nullptr) ||
            got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

bool Rewind(HANDLE handle) {
    return SetFilePointerEx(handle, LARGE_INTEGER{}, nullptr, FILE_BEGIN) != 0;
}

// Writes the file itself rather than replacing it: for a file the folder takes no new file
// beside, and for a file with several names (hard links), which a replacement would split
// apart. The new contents are written over the old before the file is cut to their length,
// so it is never empty; should the write fail, the old contents are put back.
bool WriteInPlace(const std::wstring& target, std::span<const uint8_t> contents) {
    // Reading the attributes needs its own right beside writing: without it, the check that
    // this is a plain file is refused.
    UniqueHandle file(CreateFileW(target.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH, nullptr));
    std::vector<uint8_t> old;
    if (!file.Valid() || !IsPlainFile(file.Get()) || !ReadAll(file.Get(), old) ||
        !Rewind(file.Get())) {
        return false;
    }
    if (WriteFully(file.Get(), contents) && SetEndOfFile(file.Get())) {
        return file.Close();
    }
    if (Rewind(file.Get()) && WriteFully(file.Get(), old)) {
        SetEndOfFile(file.Get());
    }
    return false;
}

}  // namespace

ReadResult ReadFileStart(const std::string& path, std::span<uint8_t> data, std::size_t& length) {
    length = 0;
    UniqueHandle file(CreateFileW(Utf16(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? ReadResult::NotFound
                   : ReadResult::Unreadable;
    }
    // Only a plain file: a pipe or a device would block the program or never end.
    if (!IsPlainFile(file.Get())) {
        return ReadResult::Unreadable;
    }
    while (length < data.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), data.data() + length, DWORD(data.size() - length), &got,
                      nullptr)) {
            return ReadResult::Unreadable;
        }
        if (got == 0) {
            break;
        }
        length += got;
    }
    return ReadResult::Ok;
}

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> contents) {
    std::wstring target;
    const Target existing = ResolveTarget(Utf16(path), target);
    if (existing == Target::Refused) {
        return false;
    }
    if (existing == Target::LinkedFile) {
        return WriteInPlace(target, contents);
    }
    std::wstring temporaryPath;
    UniqueHandle temporary(CreateTemporaryBeside(target, temporaryPath));
    if (!temporary.Valid()) {
        return existing == Target::PlainFile && GetLastError() == ERROR_ACCESS_DENIED &&
               WriteInPlace(target, contents);
    }
    const bool written = WriteFully(temporary.Get(), contents) && temporary.Close();
    // ReplaceFileW keeps the old file's attributes and security; a plain move with
    // write-through is the way for a new file, or where replacing is not supported.
    const bool replaced =
        written && ((existing == Target::PlainFile &&
                     ReplaceFileW(target.c_str(), temporaryPath.c_str(), nullptr,
                                  REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) ||
                    MoveFileExW(temporaryPath.c_str(), target.c_str(),
                                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    if (!replaced) {
        temporary.Close();
        DeleteFileW(temporaryPath.c_str());
    }
    return replaced;
}

}  // namespace quillon::file_access
