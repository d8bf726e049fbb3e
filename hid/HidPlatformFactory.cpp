#include "hid/HidPlatformFactory.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "hid/CompositeHidPlatform.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/QuillonAdapter.h"
#ifdef QUILLON_HAVE_LINUX_HID
#include "hid/linux/LinuxHidPlatform.h"
#endif
#ifdef QUILLON_HAVE_WINDOWS_HID
#include "hid/windows/WindowsHidPlatform.h"
#endif

namespace quillon {
namespace {

// Emulated instance handles start high, clear of any real device's, should the bus ever be
// used without the composite's renumbering.
constexpr uint32_t kFirstEmulatedInstance = 0x40000000;

std::unique_ptr<IHidPlatform> CreateRealPlatform() {
#if defined(QUILLON_HAVE_LINUX_HID)
    return CreateLinuxHidPlatform();
#elif defined(QUILLON_HAVE_WINDOWS_HID)
    return CreateWindowsHidPlatform();
#else
    return nullptr;
#endif
}

}  // namespace

int EmulatedAdapterCountFromEnvironment() {
    const char* value = std::getenv("QUILLON_EMULATE");
    if (value == nullptr || *value == '\0') {
        return 0;
    }
    int count = 0;
    for (const char* p = value; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') {
            return 0;
        }
        count = std::min(count * 10 + (*p - '0'), kMaxEmulatedAdapters);
    }
    return count;
}

std::unique_ptr<IHidPlatform> CreateHidPlatform(const HidPlatformChoice& choice,
                                                emu::EmulatedBus** emulatedBus) {
    const int adapters = choice.EmulatedAdapters < 0
                             ? EmulatedAdapterCountFromEnvironment()
                             : std::min(choice.EmulatedAdapters, kMaxEmulatedAdapters);
    std::unique_ptr<IHidPlatform> real = choice.RealDevices ? CreateRealPlatform() : nullptr;
    if (adapters == 0 && emulatedBus == nullptr && real != nullptr) {
        return real;
    }

    auto bus = std::make_unique<emu::EmulatedBus>(kFirstEmulatedInstance);
    for (int i = 0; i < adapters; ++i) {
        bus->Plug(std::make_shared<emu::QuillonAdapter>());
    }
    if (emulatedBus != nullptr) {
        *emulatedBus = bus.get();
    }
    auto composite = std::make_unique<CompositeHidPlatform>();
    composite->AddBackend(std::move(bus), "emu:");
    if (real != nullptr) {
        composite->AddBackend(std::move(real), "");
    }
    return composite;
}

}  // namespace quillon
