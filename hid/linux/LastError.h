#pragma once

#include <cstdint>

namespace quillon::linuxhid {

// The calling thread's last error of the hidraw backend, an errno value.
uint32_t LastErrorCode();
void SetLastErrorCode(int code);
// Stores errno (or EIO when a failed call left none).
void SetLastErrorFromErrno();

}  // namespace quillon::linuxhid
