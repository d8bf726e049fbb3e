#pragma once

#include <memory>

#include "hid/HidPlatform.h"
#include "hid/windows/HidFunctions.h"

namespace quillon {

// The Windows HID stack through SetupAPI and hid.dll, bound at run time. nullptr when those
// services are not there: the program then lists no real devices.
std::unique_ptr<IHidPlatform> CreateWindowsHidPlatform();

// The same over a given table of functions (a fake HID stack in tests).
std::unique_ptr<IHidPlatform> CreateWindowsHidPlatform(
    std::shared_ptr<const winhid::HidFunctions> functions);

}  // namespace quillon
