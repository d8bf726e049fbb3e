#include "hid/windows/Win32Failure.h"

#include <setupapi.h>

#include "base/windows/WideText.h"

namespace quillon::winhid {
namespace {

// "A device which does not exist was specified"; MinGW's headers lack the name.
constexpr DWORD kErrorNoSuchDevice = 433;

}  // namespace

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? Utf8(text, length) : std::string();
    LocalFree(text);
    // The system's texts end in a full stop and a line break; the callers add their own.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' ')) {
        message.pop_back();
    }
    return message.empty() ? "Windows error " + std::to_string(code) : message;
}

HidErrorKind Win32Kind(DWORD code) {
    switch (code) {
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case kErrorNoSuchDevice:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_REMOVED:
        case ERROR_NO_SUCH_DEVINST:
            return HidErrorKind::Gone;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return HidErrorKind::NoPermission;
        case ERROR_BUSY:
        case ERROR_LOCK_VIOLATION:
            return HidErrorKind::Busy;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return HidErrorKind::Unsupported;
        default:
            return HidErrorKind::TransferFailed;
    }
}

HidFailure Win32Failure(DWORD code) {
    return HidFailure{HidError{Win32Kind(code), static_cast<uint32_t>(code)}, SystemMessage(code)};
}

HidFailure LastWin32Failure() {
    const DWORD code = GetLastError();
    return Win32Failure(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE);
}

HidFailure LastDeviceFailure() {
    const DWORD code = GetLastError();
    if (code == ERROR_ACCESS_DENIED) {
        return Win32Failure(ERROR_DEVICE_NOT_CONNECTED);
    }
    return Win32Failure(code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE);
}

}  // namespace quillon::winhid
