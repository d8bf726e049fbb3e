#pragma once

#include <cstdint>

#include "base/Result.h"

namespace quillon {

// What became of a request, as far as the layers above act on it. Every backend sorts its own
// native errors into these at the call that failed.
enum class HidErrorKind {
    Gone,            // the device is not there (any more), or the path leads to no device
    NoPermission,    // the system refused access, or another program holds the device unshared
    Busy,            // another handle has the device for its exclusive use
    TransferFailed,  // the device or its driver did not carry out the request
    Unsupported,     // the device or the platform does not offer the request
};

// A failure of the HID layer: its kind, and the native code of the backend that failed (an
// errno value from hidraw and the emulated bus, a Win32 error code on Windows). The code means
// something only to that backend, which also words it in the failure's Message, so nothing
// above ever has to guess whose code it is.
struct HidError {
    HidErrorKind Kind = HidErrorKind::TransferFailed;
    uint32_t NativeCode = 0;
};

using HidFailure = Failure<HidError>;
template <class T = void>
using HidResult = Result<T, HidError>;

}  // namespace quillon
