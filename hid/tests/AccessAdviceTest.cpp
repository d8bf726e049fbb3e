#include "hid/AccessAdvice.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quillon {
namespace {

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

TEST(AccessAdviceTest, OnlyPermissionErrorsCallForTheRule) {
    EXPECT_TRUE(IsAccessRefusal(EACCES));
    EXPECT_TRUE(IsAccessRefusal(EPERM));
    EXPECT_FALSE(IsAccessRefusal(0));
    EXPECT_FALSE(IsAccessRefusal(ENODEV));
    EXPECT_FALSE(IsAccessRefusal(EBUSY));
}

}  // namespace
}  // namespace quillon
