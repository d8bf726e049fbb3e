#pragma once

#include <memory>

#include "hid/HidPlatform.h"

namespace quillon {

namespace emu {
class EmulatedBus;
}

struct HidPlatformChoice {
    // The devices the operating system reports (the hidraw backend on Linux, SetupAPI and
    // hid.dll on Windows).
    bool RealDevices = true;
    // Emulated adapters plugged in beside them; negative: as many as QUILLON_EMULATE names.
    int EmulatedAdapters = -1;
};

// The number of emulated adapters that QUILLON_EMULATE asks for: 0 when it is unset or not a
// plain number; at most kMaxEmulatedAdapters.
constexpr int kMaxEmulatedAdapters = 16;
int EmulatedAdapterCountFromEnvironment();

// The platform the program runs on. With emulated adapters (or when emulatedBus is given) the
// real devices and an emulated bus are merged into one list; *emulatedBus then points at that
// bus (owned by the returned platform) so a demo can plug and unplug devices.
std::unique_ptr<IHidPlatform> CreateHidPlatform(const HidPlatformChoice& choice = {},
                                                emu::EmulatedBus** emulatedBus = nullptr);

}  // namespace quillon
