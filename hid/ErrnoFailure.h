#pragma once

#include "hid/HidError.h"

namespace quillon {

// For the backends that speak errno (hidraw, the emulated bus): the kind of an errno value, and
// the failure with the C library's text for it.
HidErrorKind ErrnoKind(int code);
HidFailure ErrnoFailure(int code);

}  // namespace quillon
