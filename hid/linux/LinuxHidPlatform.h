#pragma once

#include <memory>

#include "hid/HidPlatform.h"

namespace quillon {

// The hidraw backend. Devices are taken from sysfs under $QUILLON_SYSFS_ROOT (/sys when
// unset) and opened under $QUILLON_DEV_ROOT (/dev when unset). With QUILLON_SYSFS_ROOT set,
// device changes are watched on that tree's class/hidraw folder instead of through udev, so a
// test tree can announce its own plugging.
std::unique_ptr<IHidPlatform> CreateLinuxHidPlatform();

}  // namespace quillon
