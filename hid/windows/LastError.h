#pragma once

#include <cstdint>

namespace quillon::winhid {

// The calling thread's last error of the Windows backend, a Win32 error code. Kept apart from
// GetLastError, which every later system call may overwrite.
uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);
// Stores GetLastError() (ERROR_GEN_FAILURE when a failed call left none) and returns false.
bool FailWithSystemError();
// The same for a request on a device that was open: an unplugged device answers
// ERROR_DEVICE_NOT_CONNECTED, or under Wine ERROR_ACCESS_DENIED; both mean "device gone".
bool FailWithDeviceError();

}  // namespace quillon::winhid
