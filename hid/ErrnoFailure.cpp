#include "hid/ErrnoFailure.h"

#include <cerrno>
#include <system_error>

namespace quillon {

HidErrorKind ErrnoKind(int code) {
    switch (code) {
        case ENODEV:
        case ENOENT:
        case ENXIO:
#ifdef ESHUTDOWN  // not every C library has it (MinGW's has not)
        case ESHUTDOWN:
#endif
            return HidErrorKind::Gone;
        case EACCES:
        case EPERM:
            return HidErrorKind::NoPermission;
        case EBUSY:
        case EWOULDBLOCK:  // a lock another handle holds
#if EAGAIN != EWOULDBLOCK
        case EAGAIN:
#endif
            return HidErrorKind::Busy;
        case EOPNOTSUPP:
        case ENOTTY:  // an ioctl the node does not know
        case EINVAL:  // a request the driver does not take
            return HidErrorKind::Unsupported;
        default:
            return HidErrorKind::TransferFailed;
    }
}

HidFailure ErrnoFailure(int code) {
    return HidFailure{HidError{ErrnoKind(code), static_cast<uint32_t>(code)},
                      std::generic_category().message(code)};
}

}  // namespace quillon
