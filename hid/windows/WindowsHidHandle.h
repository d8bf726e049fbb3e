#pragma once

#include <memory>
#include <string>

#include "hid/HidPlatform.h"
#include "hid/windows/HidFunctions.h"

namespace quillon::winhid {

// Opens a HID interface by its path: read/write for feature reports (sharing read and write,
// so that the system and other programs keep their access), with no access rights at all for
// queries only (identity, strings, capabilities: Windows allows these even on keyboards it
// holds), and read-only overlapped for input reports.
HidResult<std::unique_ptr<IHidHandle>> OpenHidInterface(
    std::shared_ptr<const HidFunctions> functions, const std::string& path, HidAccess access);

}  // namespace quillon::winhid
