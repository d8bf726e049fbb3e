#pragma once

#include <gtest/gtest.h>

#include <string>

namespace quillon::test {

// Empty when ioctls on hidraw nodes reach the kernel; otherwise why not. Feature reports and
// the descriptor from the node travel by ioctl, and qemu-user, which runs the arm64 build's
// tests, has no translation for the hidraw ones: it answers each with ENOSYS. Tests that need
// them are skipped there, in CI too; everything else about the node still runs.
std::string HidrawIoctlsUnavailable();

}  // namespace quillon::test

#define QUILLON_REQUIRE_HIDRAW_IOCTLS()                                                         \
    do {                                                                                        \
        if (const std::string why = ::quillon::test::HidrawIoctlsUnavailable(); !why.empty()) { \
            GTEST_SKIP() << why;                                                                \
        }                                                                                       \
    } while (false)
