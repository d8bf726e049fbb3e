#include "hid/AccessAdvice.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "hid/ErrnoFailure.h"

namespace quillon {
namespace {

#ifdef _WIN32
TEST(AccessAdviceTest, OnWindowsNamesTheDeviceAndWhoMayHoldIt) {
    const std::string advice = MissingAccessAdvice("\\\\?\\hid#vid_169b&pid_0110");
    EXPECT_EQ(advice.rfind("Read/write access to \\\\?\\hid#vid_169b&pid_0110 was refused.\n", 0),
              0u);
    EXPECT_NE(advice.find("another program"), std::string::npos);
    EXPECT_EQ(advice.find("udev"), std::string::npos);
}
#else
TEST(AccessAdviceTest, NamesTheNodeTheRuleAndHowToInstallIt) {
    const std::string advice = MissingAccessAdvice("/dev/hidraw3");
    EXPECT_EQ(advice,
              "Read/write access to /dev/hidraw3 was refused.\n"
              "The adapter is reached without root through the udev rule "
              "70-quillon-adapter.rules, which the package installs as "
              "/usr/lib/udev/rules.d/70-quillon-adapter.rules.\n"
              "To install it by hand, run in the folder that holds it (packaging/ in the "
              "sources):\n"
              "  sudo install -m 644 70-quillon-adapter.rules /usr/lib/udev/rules.d/ && sudo "
              "udevadm control --reload && sudo udevadm trigger\n"
              "then unplug the adapter and plug it in again.\n");
}
#endif

// The errno values of hidraw and the emulated bus; the Windows backend's codes are sorted by
// its own tests.
TEST(AccessAdviceTest, OnlyPermissionErrorsCallForTheRule) {
    EXPECT_TRUE(IsAccessRefusal(ErrnoFailure(EACCES)));
    EXPECT_TRUE(IsAccessRefusal(ErrnoFailure(EPERM)));
    EXPECT_FALSE(IsAccessRefusal(HidFailure{}));
    EXPECT_FALSE(IsAccessRefusal(ErrnoFailure(ENODEV)));
    EXPECT_FALSE(IsAccessRefusal(ErrnoFailure(EBUSY)));
    EXPECT_EQ(ErrnoFailure(ENODEV).Error.Kind, HidErrorKind::Gone);
    EXPECT_EQ(ErrnoFailure(EWOULDBLOCK).Error.Kind, HidErrorKind::Busy);
    EXPECT_EQ(ErrnoFailure(ENOTTY).Error.Kind, HidErrorKind::Unsupported);
    EXPECT_EQ(ErrnoFailure(EPIPE).Error.Kind, HidErrorKind::TransferFailed);
}

}  // namespace
}  // namespace quillon
