#include "hid/HidPlatformFactory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>

#include "base/PlainEventLoop.h"
#include "hid/CompositeHidPlatform.h"
#include "hid/HidDeviceController.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/GenericDevice.h"

namespace quillon {
namespace {

class EnvironmentValue {
  public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        Set(name, value);
    }
    ~EnvironmentValue() { Set(name_, old_.empty() ? nullptr : old_.c_str()); }

  private:
    static void Set(const char* name, const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");  // an empty value removes the variable
#else
        value ? setenv(name, value, 1) : unsetenv(name);
#endif
    }

    const char* name_;
    std::string old_;
};

TEST(HidPlatformFactoryTest, EmulatedAdapterCountComesFromTheEnvironment) {
    {
        EnvironmentValue env("QUILLON_EMULATE", nullptr);
        EXPECT_EQ(EmulatedAdapterCountFromEnvironment(), 0);
    }
    {
        EnvironmentValue env("QUILLON_EMULATE", "2");
        EXPECT_EQ(EmulatedAdapterCountFromEnvironment(), 2);
    }
    {
        EnvironmentValue env("QUILLON_EMULATE", "yes");
        EXPECT_EQ(EmulatedAdapterCountFromEnvironment(), 0);
    }
    {
        EnvironmentValue env("QUILLON_EMULATE", "-1");
        EXPECT_EQ(EmulatedAdapterCountFromEnvironment(), 0);
    }
    {
        EnvironmentValue env("QUILLON_EMULATE", "99999999999999999999");
        EXPECT_EQ(EmulatedAdapterCountFromEnvironment(), kMaxEmulatedAdapters);
    }
}

TEST(HidPlatformFactoryTest, EmulatedAdaptersAreListedAsAdapters) {
    emu::EmulatedBus* bus = nullptr;
    auto platform = CreateHidPlatform({.RealDevices = false, .EmulatedAdapters = 2}, &bus);
    ASSERT_NE(platform, nullptr);
    ASSERT_NE(bus, nullptr);
    const auto present = platform->PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    for (const THidPnPInfo& info : present) {
        auto handle = platform->Open(info.InterfacePath, HidAccess::ReadWrite);
        ASSERT_TRUE(handle);
        const auto identity = (*handle)->GetAttributes();
        ASSERT_TRUE(identity);
        EXPECT_EQ(identity->VendorID, 0x169B);
        EXPECT_EQ(identity->ProductID, 0x0110);
    }

    // The demo can plug more through the bus, and the controller sees them.
    PlainEventLoop loop;
    THidDeviceController controller(*platform, loop);
    loop.RunPending();
    EXPECT_EQ(controller.DeviceCount(), 2);
    bus->Plug(std::make_shared<emu::GenericDevice>());
    loop.RunPending();
    EXPECT_EQ(controller.DeviceCount(), 3);
}

TEST(CompositeHidPlatformTest, MergesBackendsWithDistinctInstanceHandles) {
    auto first = std::make_unique<emu::EmulatedBus>();
    auto second = std::make_unique<emu::EmulatedBus>();
    first->Plug(std::make_shared<emu::GenericDevice>());
    second->Plug(std::make_shared<emu::GenericDevice>());  // same path and handle as the first
    emu::EmulatedBus* secondBus = second.get();
    CompositeHidPlatform composite;
    composite.AddBackend(std::move(first), "emu:");
    composite.AddBackend(std::move(second), "");

    const auto present = composite.PresentInterfaces();
    ASSERT_EQ(present.size(), 1u) << "a path the first backend claims is not the second's";
    EXPECT_EQ(present[0].Location, "emulated-1");
    secondBus->Plug(std::make_shared<emu::GenericDevice>());
    EXPECT_EQ(composite.PresentInterfaces().size(), 1u);

    // Failures come from the backend that claims the path, in its words.
    const auto missing = composite.Open("emu:77", HidAccess::QueryOnly);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Error().Error.NativeCode, static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(missing.Error().Message, "No such file or directory");
}

TEST(CompositeHidPlatformTest, InstanceHandlesStayStableAndDistinct) {
    auto emulated = std::make_unique<emu::EmulatedBus>();
    emu::EmulatedBus* bus = emulated.get();
    CompositeHidPlatform composite;
    composite.AddBackend(std::move(emulated), "emu:");
    const uint32_t a = bus->Plug(std::make_shared<emu::GenericDevice>());
    const auto before = composite.PresentInterfaces();
    bus->Plug(std::make_shared<emu::GenericDevice>());
    bus->Unplug(a);
    bus->Plug(std::make_shared<emu::GenericDevice>());
    const auto after = composite.PresentInterfaces();
    ASSERT_EQ(before.size(), 1u);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_NE(after[0].InstanceHandle, before[0].InstanceHandle);
    EXPECT_NE(after[0].InstanceHandle, after[1].InstanceHandle);

    uint8_t report[65] = {3};
    auto handle = composite.Open(after[0].InterfacePath, HidAccess::ReadWrite);
    ASSERT_TRUE(handle);
    bus->Unplug(a + 1);  // the device behind after[0]
    const HidResult<> failed = (*handle)->GetFeature(report);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.Error().Error.NativeCode, static_cast<uint32_t>(ENODEV));
}

}  // namespace
}  // namespace quillon
