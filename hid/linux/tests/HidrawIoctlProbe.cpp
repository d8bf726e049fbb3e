#include "hid/linux/tests/HidrawIoctlProbe.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace quillon::test {

std::string HidrawIoctlsUnavailable() {
    // The kernel refuses the request for want of a descriptor; whatever answers otherwise
    // never passed it on.
    uint8_t report[2] = {};
    if (::ioctl(-1, HIDIOCGFEATURE(sizeof report), report) == -1 && errno == EBADF) {
        return {};
    }
    return std::string("ioctls on hidraw nodes do not reach the kernel here (HIDIOCGFEATURE: ") +
           std::strerror(errno) +
           "): an emulator without their translation, such as qemu-user, runs this test";
}

}  // namespace quillon::test
