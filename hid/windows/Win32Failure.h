#pragma once

#include <windows.h>

#include <string>

#include "hid/HidError.h"

namespace quillon::winhid {

// The system's text for a Win32 error code, without the full stop and line break it ends in.
std::string SystemMessage(DWORD code);

// The kind of a Win32 error code, and the failure with the system's text for it.
HidErrorKind Win32Kind(DWORD code);
HidFailure Win32Failure(DWORD code);
// The failure GetLastError() names (ERROR_GEN_FAILURE when a failed call left none). Taken at
// once after the call that failed, before anything else can overwrite it.
HidFailure LastWin32Failure();
// The same for a request on a handle that was open: an unplugged device answers
// ERROR_DEVICE_NOT_CONNECTED, or under Wine ERROR_ACCESS_DENIED, which then means "device gone"
// rather than a refusal (the device was opened after all) and is told as the former.
HidFailure LastDeviceFailure();

}  // namespace quillon::winhid
