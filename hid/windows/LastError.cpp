#include "hid/windows/LastError.h"

#include <windows.h>

namespace quillon::winhid {
namespace {
thread_local uint32_t lastError = 0;
}

uint32_t LastErrorCode() {
    return lastError;
}

void SetLastErrorCode(uint32_t code) {
    lastError = code;
}

bool FailWithSystemError() {
    const DWORD code = GetLastError();
    lastError = code != ERROR_SUCCESS ? code : ERROR_GEN_FAILURE;
    return false;
}

bool FailWithDeviceError() {
    FailWithSystemError();
    if (lastError == ERROR_ACCESS_DENIED) {
        lastError = ERROR_DEVICE_NOT_CONNECTED;
    }
    return false;
}

}  // namespace quillon::winhid
