#include "hid/linux/LastError.h"

#include <cerrno>

namespace quillon::linuxhid {
namespace {
thread_local uint32_t lastError = 0;
}

uint32_t LastErrorCode() {
    return lastError;
}

void SetLastErrorCode(int code) {
    lastError = uint32_t(code);
}

void SetLastErrorFromErrno() {
    lastError = uint32_t(errno != 0 ? errno : EIO);
}

}  // namespace quillon::linuxhid
