#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <future>
#include <thread>

#include "base/PlainEventLoop.h"
#include "hid/ReportDescriptor.h"
#include "hid/emulated/GenericDevice.h"
#include "hid/emulated/QuillonAdapter.h"
#include "hid/linux/LinuxHidPlatform.h"
#include "hid/linux/tests/HidrawIoctlProbe.h"
#include "hid/linux/tests/HidrawTestBed.h"

namespace quillon::test {
namespace {

constexpr int kLongWaitMs = 10000;
constexpr std::chrono::milliseconds kLongWait(kLongWaitMs);

// The adapter's own descriptor, vendor-defined with report IDs: input length 9, feature
// length 65.
std::vector<uint8_t> VendorDescriptorWithReportIds() {
    return emu::QuillonAdapterDescriptor();
}

// A boot keyboard, no report IDs: 8-byte input, 1-byte output (lengths 9 and 2).
std::vector<uint8_t> BootKeyboardDescriptor() {
    return {
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15,
        0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08,
        0x81, 0x01, 0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91,
        0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06, 0x75, 0x08, 0x15, 0x00,
        0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0,
    };
}

std::shared_ptr<emu::GenericDevice> VendorModel(uint16_t product = 0x0110) {
    return std::make_shared<emu::GenericDevice>(
        emu::GenericDeviceConfig{.Identity = {0x169B, product, 0x0123},
                                 .Manufacturer = u"Werkstätte Nord",
                                 .Product = u"Seriell→Tastatur",
                                 .Descriptor = VendorDescriptorWithReportIds(),
                                 .StallUnknownFeatures = true});
}

std::shared_ptr<emu::GenericDevice> KeyboardModel() {
    return std::make_shared<emu::GenericDevice>(
        emu::GenericDeviceConfig{.Identity = {0x04E8, 0x7021, 0x0200},
                                 .Manufacturer = u"",
                                 .Product = u"Keys",
                                 .Descriptor = BootKeyboardDescriptor(),
                                 .StallUnknownFeatures = true});
}

HidrawTestBed::Device Usb() {
    return {};
}

// The failure's errno value; 0 for a success.
template <class T>
uint32_t CodeOf(const HidResult<T>& result) {
    return result ? 0 : result.Error().Error.NativeCode;
}

class LinuxHidPlatformTest : public testing::Test {
  protected:
    void SetUp() override { QUILLON_REQUIRE_HIDRAW_BED(bed); }

    std::unique_ptr<IHidHandle> Open(const std::string& node, HidAccess access) {
        auto opened = platform->Open(bed.NodePath(node), access);
        lastOpen = opened ? HidFailure{} : opened.Error();
        return opened ? std::move(*opened) : nullptr;
    }

    HidrawTestBed bed;
    // Created after the bed, which points the backend at its trees.
    std::unique_ptr<IHidPlatform> platform = CreateLinuxHidPlatform();
    HidFailure lastOpen;  // why the last Open failed
};

TEST_F(LinuxHidPlatformTest, ListsNodesInNumberOrderWithHandlesStableAcrossScansAndPorts) {
    bed.Plug(Usb().At("hidraw10"), VendorModel());
    bed.Plug(Usb().At("hidraw2"), KeyboardModel());
    bed.Plug(Usb().At("hidraw3").WithoutNode(), VendorModel());

    const auto first = platform->PresentInterfaces();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].InterfacePath, bed.NodePath("hidraw2"));
    EXPECT_EQ(first[1].InterfacePath, bed.NodePath("hidraw10"));
    EXPECT_NE(first[0].InstanceHandle, first[1].InstanceHandle);
    // Where each sits on USB: the name of its USB device in the tree the backend was given.
    EXPECT_EQ(first[0].Location, "1-2");
    EXPECT_EQ(first[1].Location, "1-1");

    const auto second = platform->PresentInterfaces();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].InstanceHandle, first[0].InstanceHandle);
    EXPECT_EQ(second[1].InstanceHandle, first[1].InstanceHandle);

    // Plugged back at the same node, it is a new device to the layer above.
    bed.Unplug("hidraw2");
    bed.Plug(Usb().At("hidraw2"), KeyboardModel());
    const auto third = platform->PresentInterfaces();
    ASSERT_EQ(third.size(), 2u);
    EXPECT_NE(third[0].InstanceHandle, first[0].InstanceHandle);
    EXPECT_EQ(third[1].InstanceHandle, first[1].InstanceHandle);
}

TEST_F(LinuxHidPlatformTest, UsbDeviceIsIdentifiedFromItsUsbAttributes) {
    bed.Plug(Usb().WithVersion(0x0231), VendorModel());
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr) << lastOpen.Message;

    const auto identity = handle->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->VendorID, 0x169B);
    EXPECT_EQ(identity->ProductID, 0x0110);
    EXPECT_EQ(identity->VersionNumber, 0x0231);

    EXPECT_EQ(*handle->GetManufacturerString(), u"Werkstätte Nord");
    EXPECT_EQ(*handle->GetProductString(), u"Seriell→Tastatur");

    const auto descriptor = handle->GetReportDescriptor();
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(*descriptor, VendorDescriptorWithReportIds());
    const HidCaps caps = ParseReportDescriptorCaps(*descriptor);
    EXPECT_EQ(caps.FeatureReportByteLength, 65);
    EXPECT_EQ(caps.InputReportByteLength, 9);
}

TEST_F(LinuxHidPlatformTest, UsbDeviceWithoutStringsHasNone) {
    bed.Plug(Usb().WithoutStrings(), VendorModel());
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    EXPECT_FALSE(handle->GetManufacturerString());
    EXPECT_FALSE(handle->GetProductString());
}

TEST_F(LinuxHidPlatformTest, DeviceOffUsbHasVersionZeroAndItsHidNameAsProduct) {
    bed.Plug(Usb().OnBus(0x05, "BT Keys"), KeyboardModel());
    const auto present = platform->PresentInterfaces();
    ASSERT_EQ(present.size(), 1u);
    EXPECT_EQ(present[0].Location, "") << "no USB port to tell";
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    const auto identity = handle->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->VendorID, 0x04E8);
    EXPECT_EQ(identity->ProductID, 0x7021);
    EXPECT_EQ(identity->VersionNumber, 0);
    EXPECT_EQ(*handle->GetProductString(), u"BT Keys");
    EXPECT_FALSE(handle->GetManufacturerString());
}

TEST_F(LinuxHidPlatformTest, DescriptorComesThroughTheNodeWhenSysfsLacksIt) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    bed.Plug(Usb().DescriptorOnlyFromNode(), VendorModel());
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    const auto descriptor = handle->GetReportDescriptor();
    ASSERT_TRUE(descriptor) << descriptor.Error().Message;
    EXPECT_EQ(*descriptor, VendorDescriptorWithReportIds());
}

TEST_F(LinuxHidPlatformTest, FeatureReportsTravelBothWays) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    auto model = VendorModel();
    std::vector<uint8_t> stored(65);
    for (size_t i = 0; i < stored.size(); ++i) {
        stored[i] = uint8_t(i * 3);
    }
    stored[0] = 3;
    model->StoreFeature(stored);
    bed.Plug(Usb(), model);
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);

    std::vector<uint8_t> buffer(65, 0);
    buffer[0] = 3;
    const HidResult<> got = handle->GetFeature(buffer);
    ASSERT_TRUE(got) << got.Error().Message;
    EXPECT_EQ(buffer, stored);

    const std::vector<uint8_t> sent = {6, 0, 0, 0};
    ASSERT_TRUE(handle->SetFeature(sent));
    ASSERT_EQ(model->SetReports().size(), 1u);
    EXPECT_EQ(model->SetReports()[0], sent);

    // A report the device refuses fails with the device's own reason, in the C library's words.
    buffer.assign(65, 0);
    buffer[0] = 9;
    const HidResult<> refused = handle->GetFeature(buffer);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.Error().Error.NativeCode, uint32_t(EPIPE));
    EXPECT_EQ(refused.Error().Error.Kind, HidErrorKind::TransferFailed);
    EXPECT_EQ(refused.Error().Message, "Broken pipe");
}

TEST_F(LinuxHidPlatformTest, InputReportArrivesWithItsReportId) {
    auto model = VendorModel();
    bed.Plug(Usb(), model);
    auto reader = Open("hidraw0", HidAccess::Read);
    ASSERT_NE(reader, nullptr);

    EXPECT_EQ(*reader->WaitInput(0), HidWaitResult::Timeout);
    const std::vector<uint8_t> report = {1, 'Q', 'u', 'i', 'l', 'l', 'o', 'n', '!'};
    ASSERT_TRUE(model->SendInput(report));
    ASSERT_EQ(*reader->WaitInput(kLongWaitMs), HidWaitResult::Ready);
    std::vector<uint8_t> buffer(9);
    ASSERT_EQ(*reader->ReadInput(buffer), 9u);
    EXPECT_EQ(buffer, report);
    EXPECT_EQ(*reader->WaitInput(0), HidWaitResult::Timeout);
}

TEST_F(LinuxHidPlatformTest, InputOfDeviceWithoutReportIdsGetsReportIdZero) {
    auto model = KeyboardModel();
    bed.Plug(Usb(), model);
    auto reader = Open("hidraw0", HidAccess::Read);
    ASSERT_NE(reader, nullptr);

    ASSERT_TRUE(model->SendInput({0, 0x02, 0, 0x04, 0, 0, 0, 0, 0}));
    ASSERT_EQ(*reader->WaitInput(kLongWaitMs), HidWaitResult::Ready);
    std::vector<uint8_t> buffer(9, 0xEE);
    ASSERT_EQ(*reader->ReadInput(buffer), 9u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0x02, 0, 0x04, 0, 0, 0, 0, 0}));
}

TEST_F(LinuxHidPlatformTest, WakeWaitEndsAWaitAtOnceFromAnotherThread) {
    bed.Plug(Usb(), VendorModel());
    auto reader = Open("hidraw0", HidAccess::Read);
    ASSERT_NE(reader, nullptr);

    // Woken before it waits: the next wait ends at once.
    reader->WakeWait();
    EXPECT_EQ(*reader->WaitInput(kLongWaitMs * 6), HidWaitResult::Woken);

    std::promise<void> waiting;
    auto result = std::async(std::launch::async, [&] {
        waiting.set_value();
        return reader->WaitInput(kLongWaitMs * 6);
    });
    waiting.get_future().wait();
    reader->WakeWait();
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(kLongWaitMs)), std::future_status::ready);
    EXPECT_EQ(*result.get(), HidWaitResult::Woken);
}

TEST_F(LinuxHidPlatformTest, NodeWithoutAccessRightsIsListedAndQueriedFromSysfs) {
    bed.Plug(Usb().WithVersion(0x0105).Refusing(), VendorModel());
    const auto present = platform->PresentInterfaces();
    ASSERT_EQ(present.size(), 1u);

    EXPECT_EQ(Open("hidraw0", HidAccess::ReadWrite), nullptr);
    EXPECT_EQ(lastOpen.Error.NativeCode, uint32_t(EACCES));
    EXPECT_EQ(lastOpen.Error.Kind, HidErrorKind::NoPermission);
    EXPECT_EQ(lastOpen.Message, "Permission denied");
    EXPECT_EQ(Open("hidraw0", HidAccess::Read), nullptr);

    auto handle = Open("hidraw0", HidAccess::QueryOnly);
    ASSERT_NE(handle, nullptr);
    const auto identity = handle->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->VendorID, 0x169B);
    EXPECT_EQ(identity->VersionNumber, 0x0105);
    EXPECT_EQ(*handle->GetProductString(), u"Seriell→Tastatur");
    const auto descriptor = handle->GetReportDescriptor();
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(ParseReportDescriptorCaps(*descriptor).FeatureReportByteLength, 65);

    std::vector<uint8_t> buffer(65, 0);
    buffer[0] = 3;
    EXPECT_EQ(CodeOf(handle->GetFeature(buffer)), uint32_t(EACCES));
    EXPECT_FALSE(handle->SetFeature(buffer));
}

TEST_F(LinuxHidPlatformTest, UnplugDuringAWaitFailsTheWaitAndEveryLaterRequest) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    bed.Plug(Usb(), VendorModel());
    ASSERT_EQ(platform->PresentInterfaces().size(), 1u);
    auto device = Open("hidraw0", HidAccess::ReadWrite);
    auto reader = Open("hidraw0", HidAccess::Read);
    ASSERT_NE(device, nullptr);
    ASSERT_NE(reader, nullptr);

    std::promise<void> waiting;
    auto result = std::async(std::launch::async, [&] {
        waiting.set_value();
        return reader->WaitInput(kLongWaitMs * 6);
    });
    waiting.get_future().wait();
    bed.Unplug("hidraw0");
    ASSERT_EQ(result.wait_for(std::chrono::milliseconds(kLongWaitMs)), std::future_status::ready);
    const HidResult<HidWaitResult> waited = result.get();
    ASSERT_FALSE(waited);
    EXPECT_EQ(waited.Error().Error.Kind, HidErrorKind::Gone);

    std::vector<uint8_t> buffer(65, 0);
    EXPECT_EQ(CodeOf(reader->ReadInput(std::span(buffer).first(9))), uint32_t(EIO));
    buffer[0] = 3;
    EXPECT_EQ(CodeOf(device->GetFeature(buffer)), uint32_t(ENODEV));

    EXPECT_TRUE(platform->PresentInterfaces().empty());
    EXPECT_EQ(Open("hidraw0", HidAccess::QueryOnly), nullptr);
}

TEST_F(LinuxHidPlatformTest, ReusedNodeNumberDoesNotLeadToTheNewDevice) {
    auto first = VendorModel();
    bed.Plug(Usb(), first);
    ASSERT_EQ(platform->PresentInterfaces().size(), 1u);

    // Another device takes the number before a scan has noticed the swap.
    bed.Unplug("hidraw0");
    auto second = VendorModel(0x0999);
    bed.Plug(Usb(), second);
    EXPECT_EQ(Open("hidraw0", HidAccess::ReadWrite), nullptr);
    EXPECT_EQ(lastOpen.Error.NativeCode, uint32_t(ENODEV));

    ASSERT_EQ(platform->PresentInterfaces().size(), 1u);
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);
    const auto identity = handle->GetAttributes();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->ProductID, 0x0999);
}

// A reader that reopens its device while a scan is under way must not reach the device that
// took the number: the scan already lists the newcomer at that path.
TEST_F(LinuxHidPlatformTest, ReopenOfAListedDeviceChecksTheNodeIsStillItsOwn) {
    bed.Plug(Usb(), VendorModel());
    const auto before = platform->PresentInterfaces();
    ASSERT_EQ(before.size(), 1u);
    ASSERT_TRUE(platform->OpenDevice(before[0], HidAccess::Read));

    bed.Unplug("hidraw0");
    bed.Plug(Usb(), VendorModel(0x0999));
    const auto during = platform->PresentInterfaces();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(CodeOf(platform->OpenDevice(before[0], HidAccess::Read)), uint32_t(ENODEV));
    EXPECT_FALSE(platform->OpenDevice(before[0], HidAccess::ReadWrite));
    EXPECT_TRUE(platform->OpenDevice(during[0], HidAccess::ReadWrite));
}

// A report answered shorter than the descriptor declares it is no report; shorter than asked
// but as long as declared is how hidraw answers a report below the device's longest one.
TEST_F(LinuxHidPlatformTest, ShortFeatureReplyFailsUnlessTheReportIsThatShort) {
    QUILLON_REQUIRE_HIDRAW_IOCTLS();
    auto model = VendorModel();
    model->StoreFeature({2, 0x11, 0x22, 0x33, 0x44});
    std::vector<uint8_t> record(65, 0x33);
    record[0] = 3;
    model->StoreFeature(record);
    HidrawTestBed::Device device;
    device.FeatureReplyLimit = 5;
    bed.Plug(device, model);
    auto handle = Open("hidraw0", HidAccess::ReadWrite);
    ASSERT_NE(handle, nullptr);

    std::vector<uint8_t> buffer(65, 0xEE);
    buffer[0] = 2;
    ASSERT_TRUE(handle->GetFeature(buffer));
    std::vector<uint8_t> expected(65, 0);
    std::copy_n(std::vector<uint8_t>{2, 0x11, 0x22, 0x33, 0x44}.begin(), 5, expected.begin());
    EXPECT_EQ(buffer, expected);

    buffer.assign(65, 0x02);
    buffer[0] = 3;
    EXPECT_EQ(CodeOf(handle->GetFeature(buffer)), uint32_t(EIO));
}

TEST_F(LinuxHidPlatformTest, PluggingAndUnpluggingAreAnnouncedOnTheLoop) {
    // As the controller does: every notification brings a scan, and the last scan after a
    // change must see it.
    PlainEventLoop loop;
    size_t seen = 0;
    int changes = 0;
    auto watch = platform->WatchDeviceChanges(loop, [&] {
        ++changes;
        seen = platform->PresentInterfaces().size();
    });

    bed.Plug(Usb().At("hidraw0"), VendorModel());
    bed.Plug(Usb().At("hidraw1"), KeyboardModel());
    ASSERT_TRUE(loop.RunUntil([&] { return seen == 2; }, kLongWait)) << changes << " changes";

    bed.Unplug("hidraw1");
    ASSERT_TRUE(loop.RunUntil([&] { return seen == 1; }, kLongWait)) << changes << " changes";
}

}  // namespace
}  // namespace quillon::test
