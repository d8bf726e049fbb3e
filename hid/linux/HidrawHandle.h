#pragma once

#include <memory>

#include "hid/HidPlatform.h"
#include "hid/linux/SysfsHidTree.h"

namespace quillon::linuxhid {

// Opens a hidraw node. The node is opened read/write for HidAccess::ReadWrite and read-only
// (non-blocking, with a wake-up eventfd) for HidAccess::Read. A query-only handle opens
// nothing at all: it answers from sysfs, which anyone may read, so a device without access
// rights for the user is still listed and identified.
HidResult<std::unique_ptr<IHidHandle>> OpenHidraw(const std::string& nodePath,
                                                  const HidrawEntry& entry, HidAccess access);

}  // namespace quillon::linuxhid
