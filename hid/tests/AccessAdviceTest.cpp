#include "hid/AccessAdvice.h"

#include <gtest/gtest.h>

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillon {
namespace {

#ifdef _WIN32
TEST(AccessAdviceTest, OnWindowsNamesTheDeviceAndWhoMayHoldIt) {
    const std::string advice = MissingAccessAdvice("\\\\?\\hid#vid_169b&pid_0110");
    EXPECT_EQ(advice.rfind("Read/write access to \\\\?\\hid#vid_169b&pid_0110 was refused.\n", 0),
              0u);
    EXPECT_NE(advice.find("another program"), std::string::npos);
    EXPECT_EQ(advice.find("udev"), std::string::npos);
    EXPECT_TRUE(IsAccessRefusal(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsAccessRefusal(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(IsAccessRefusal(ERROR_DEVICE_NOT_CONNECTED));
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

TEST(AccessAdviceTest, OnlyPermissionErrorsCallForTheRule) {
    EXPECT_TRUE(IsAccessRefusal(EACCES));
    EXPECT_TRUE(IsAccessRefusal(EPERM));
    EXPECT_FALSE(IsAccessRefusal(0));
    EXPECT_FALSE(IsAccessRefusal(ENODEV));
    EXPECT_FALSE(IsAccessRefusal(EBUSY));
}

}  // namespace
}  // namespace quillon
