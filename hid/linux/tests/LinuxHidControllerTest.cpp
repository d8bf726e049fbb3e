#include <gtest/gtest.h>

#include <cerrno>

#include "base/PlainEventLoop.h"
#include "hid/HidDeviceController.h"
#include "hid/emulated/QuillonAdapter.h"
#include "hid/linux/LinuxHidPlatform.h"
#include "hid/linux/tests/HidrawIoctlProbe.h"
#include "hid/linux/tests/HidrawTestBed.h"

namespace quillon::test {
namespace {

constexpr std::chrono::milliseconds kLongWait(10000);

// A holder of adapters, as the main window is: checks them out and records what arrives.
struct AdapterHolder {
    std::vector<std::unique_ptr<THidDevice>> Adapters;
    int Changes = 0;
    int Unplugs = 0;
    std::vector<std::vector<uint8_t>> Reports;  // report ID, then the data
    std::vector<HidFailure> Errors;
    THidDeviceController* Controller = nullptr;

    // Holds on to what the first scan gave, so that an unplugged adapter stays checked out.
    void DeviceChange(THidDeviceController*) {
        if (Changes++ == 0) {
            Controller->EnumerateDevices();
        }
    }
    bool Enumerate(THidDevice* device, int index) {
        if (device->Identity.VendorID == emu::QuillonAdapter::kVendorId &&
            device->Identity.ProductID == emu::QuillonAdapter::kProductId) {
            THidDevice* checkedOut = nullptr;
            if (Controller->CheckOutAt(checkedOut, index)) {
                Adapters.emplace_back(checkedOut);
            }
        }
        return true;
    }
    void Data(THidDevice*, uint8_t reportId, std::span<const uint8_t> data) {
        std::vector<uint8_t> report{reportId};
        report.insert(report.end(), data.begin(), data.end());
        Reports.push_back(std::move(report));
    }
    void DataError(THidDevice*, const HidFailure& error) { Errors.push_back(error); }
    void Unplug(THidDevice*) { ++Unplugs; }
};

TEST(LinuxHidControllerTest, AdapterServedThroughHidrawWorksThroughTheController) {
    HidrawTestBed bed;
    QUILLON_REQUIRE_HIDRAW_BED(bed);
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    auto adapter = std::make_shared<emu::QuillonAdapter>();
    bed.Plug({}, adapter);
    // Another device that the holder leaves alone.
    auto other = std::make_shared<emu::QuillonAdapter>();
    HidrawTestBed::Device otherDevice;
    otherDevice.Node = "hidraw1";
    otherDevice.RefuseOpen = true;
    bed.Plug(otherDevice, other);

    auto platform = CreateLinuxHidPlatform();
    PlainEventLoop loop;
    AdapterHolder holder;
    {
        THidDeviceController controller(*platform, loop);
        holder.Controller = &controller;
        controller.SetOnDeviceChange(MakeHandler<&AdapterHolder::DeviceChange>(&holder));
        controller.SetOnEnumerate(MakeHandler<&AdapterHolder::Enumerate>(&holder));
        controller.SetOnDeviceData(MakeHandler<&AdapterHolder::Data>(&holder));
        controller.SetOnDeviceDataError(MakeHandler<&AdapterHolder::DataError>(&holder));
        controller.SetOnDeviceUnplug(MakeHandler<&AdapterHolder::Unplug>(&holder));
        controller.SetDevThreadSleepTime(10);

        ASSERT_TRUE(loop.RunUntil([&] { return holder.Changes == 1; }, kLongWait));
        EXPECT_EQ(controller.DeviceCount(), 2);
        // Both adapters are checked out; the one without access rights can only be queried.
        ASSERT_EQ(holder.Adapters.size(), 2u);
        THidDevice& device = *holder.Adapters[0];
        THidDevice& queried = *holder.Adapters[1];
        EXPECT_TRUE(device.CanReadWrite());
        EXPECT_FALSE(queried.CanReadWrite());
        EXPECT_EQ(queried.OpenFailure().Message, "Permission denied");
        EXPECT_FALSE(queried.HasReader());
        EXPECT_EQ(queried.Capabilities().FeatureReportByteLength, 65);

        EXPECT_EQ(device.Identity.VersionNumber, emu::QuillonAdapter::kDefaultVersion);
        EXPECT_EQ(device.ProductString(), adapter->Product());
        EXPECT_EQ(device.ManufacturerString(), adapter->Manufacturer());
        const HidCaps caps = device.Capabilities();
        EXPECT_EQ(caps.FeatureReportByteLength, 65);
        EXPECT_EQ(caps.InputReportByteLength, 9);

        std::array<uint8_t, 65> settings{};
        settings[0] = 3;
        ASSERT_TRUE(device.GetFeatureReport(settings));
        EXPECT_EQ(settings, adapter->Settings());
        settings[5] ^= 0x01;
        ASSERT_TRUE(device.SetFeatureReport(settings));
        EXPECT_EQ(adapter->Settings()[5], settings[5]);

        const std::vector<uint8_t> report = {1, 'H', 'e', 'l', 'l', 'o', '!', '\r', '\n'};
        ASSERT_TRUE(bed.WaitForReader("hidraw0"));
        ASSERT_TRUE(adapter->SendInputReport(report));
        ASSERT_TRUE(loop.RunUntil([&] { return !holder.Reports.empty(); }, kLongWait));
        EXPECT_EQ(holder.Reports[0], report);

        // Pulled out: its unplug handler runs, and its reader reports errors until release.
        bed.Unplug("hidraw0");
        ASSERT_TRUE(
            loop.RunUntil([&] { return holder.Unplugs == 1 && !holder.Errors.empty(); }, kLongWait))
            << holder.Unplugs << " unplugs, " << holder.Errors.size() << " errors";
        EXPECT_EQ(holder.Reports.size(), 1u);
        EXPECT_EQ(holder.Errors[0].Error.Kind, HidErrorKind::Gone);
        EXPECT_FALSE(device.Attached());
        EXPECT_EQ(controller.UnpluggedCount(), 1);
        holder.Adapters.clear();
        holder.Controller = nullptr;
    }
}

}  // namespace
}  // namespace quillon::test
