#include "hid/HidDevice.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "hid/tests/HidTestSupport.h"

namespace quillon::testing {
namespace {

class DeviceTest : public HidFixture {
  protected:
    // One device, plugged and checked out.
    THidDevice* PlugAndCheckOut(emu::GenericDeviceConfig config = {},
                                emu::PlugOptions options = {}) {
        instance = Plug(std::move(config), options);
        if (controller == nullptr) {
            StartController();
        }
        return CheckOut(controller->DeviceCount() - 1);
    }

    uint32_t instance = 0;
};

TEST_F(DeviceTest, IdentityCapabilitiesAndStrings) {
    emu::GenericDeviceConfig config = Identified(0x169B, 0x0110, u"Quillon");
    config.Manufacturer = u"Morvane";
    config.Descriptor = emu::MakeVendorDescriptor(8, 2, 64, 3);
    THidDevice* d = PlugAndCheckOut(config);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Identity.VendorID, 0x169B);
    EXPECT_EQ(d->Identity.ProductID, 0x0110);
    EXPECT_EQ(d->Identity.VersionNumber, 0x0200);
    EXPECT_EQ(d->Capabilities(), (HidCaps{9, 3, 65}));
    EXPECT_EQ(d->ManufacturerString(), u"Morvane");
    EXPECT_EQ(d->ProductString(), u"Quillon");
    EXPECT_TRUE(d->CanReadWrite());
    EXPECT_TRUE(d->OpenFailure().Message.empty());
    EXPECT_EQ(d->Location(), "emulated-1");
    EXPECT_EQ(d->InterfacePath(), bus.PathOf(instance));
}

TEST_F(DeviceTest, FeatureReportsGoBothWaysAndKeepTheHandleOpen) {
    THidDevice* d = PlugAndCheckOut();
    ASSERT_NE(d, nullptr);
    const int opens = bus.Stats(instance).ReadWriteOpens;
    uint8_t out[65] = {3, 0x11, 0x22, 0x33};
    ASSERT_TRUE(d->SetFeatureReport(out));
    uint8_t in[65] = {3};
    ASSERT_TRUE(d->GetFeatureReport(in));
    EXPECT_EQ(in[1], 0x11);
    EXPECT_EQ(in[3], 0x33);
    EXPECT_EQ(bus.Stats(instance).ReadWriteOpens, opens + 1) << "one handle serves both";
    EXPECT_EQ(models.back()->SetReports().size(), 1u);
}

TEST_F(DeviceTest, FailedTransferIsReportedWithTheBackendsFailure) {
    emu::PlugOptions options;
    options.FailTransfer = 1;
    THidDevice* d = PlugAndCheckOut({}, options);
    ASSERT_NE(d, nullptr);
    uint8_t report[65] = {3};
    EXPECT_TRUE(d->GetFeatureReport(report));
    const HidResult<> failed = d->GetFeatureReport(report);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.Error().Error.NativeCode, static_cast<uint32_t>(EIO));
    EXPECT_TRUE(d->GetFeatureReport(report)) << "nothing is retried or stuck";
}

TEST_F(DeviceTest, CheckedInDeviceOutsideEnumerationIsNotUsable) {
    Plug();
    StartController();
    THidDevice* d = controller->DeviceAt(0);
    EXPECT_FALSE(d->IsUsable());
    EXPECT_EQ(d->ProductString(), u"");
    EXPECT_EQ(d->Capabilities(), HidCaps{});
    uint8_t report[65] = {3};
    EXPECT_FALSE(d->GetFeatureReport(report));
    EXPECT_FALSE(d->SetFeatureReport(report));
}

// A string the device gave is asked for once; one it did not give is asked for each time.
TEST_F(DeviceTest, StringFetchedOnceIsCachedAMissingOneAskedForAgain) {
    for (const std::u16string& product : {std::u16string(u"Cached"), std::u16string()}) {
        THidDevice* d = PlugAndCheckOut(Identified(1, 2, product));
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->ProductString(), product);
        const int requests = bus.Stats(instance).StringRequests;
        EXPECT_EQ(d->ProductString(), product);
        EXPECT_EQ(bus.Stats(instance).StringRequests, requests + (product.empty() ? 1 : 0));
    }
}

TEST_F(DeviceTest, LongStringIsCutTo254Characters) {
    const std::u16string longName(300, u'x');
    THidDevice* d = PlugAndCheckOut(Identified(1, 2, longName));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ProductString(), longName.substr(0, 254));
}

TEST_F(DeviceTest, StringEndsAtAnEmbeddedNull) {
    emu::GenericDeviceConfig config = Identified(1, 2, std::u16string(u"Quil\0lon", 8));
    config.Manufacturer = std::u16string(u"\0hidden", 7);
    THidDevice* d = PlugAndCheckOut(config);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ProductString(), u"Quil");
    EXPECT_EQ(d->ManufacturerString(), u"");
}

TEST_F(DeviceTest, MalformedDescriptorGivesZeroCapabilities) {
    emu::GenericDeviceConfig config;
    config.Descriptor = {0x06, 0x00, 0xFF, 0xA1};  // truncated item
    THidDevice* d = PlugAndCheckOut(config);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->Capabilities(), HidCaps{});
    EXPECT_FALSE(d->HasReader()) << "no input reports: nothing to read";
}

TEST_F(DeviceTest, ReaderSleepTimeRange) {
    Plug();
    StartController();
    THidDevice* d = controller->DeviceAt(0);
    EXPECT_EQ(d->ReaderSleepTime(), 100);
    d->SetReaderSleepTime(5);
    EXPECT_EQ(d->ReaderSleepTime(), 100);
    d->SetReaderSleepTime(10001);
    EXPECT_EQ(d->ReaderSleepTime(), 100);
    d->SetReaderSleepTime(10);
    EXPECT_EQ(d->ReaderSleepTime(), 10);
    d->SetReaderSleepTime(10000);
    EXPECT_EQ(d->ReaderSleepTime(), 10000);
}

TEST_F(DeviceTest, UnplugHandlerFiresOnce) {
    THidDevice* d = PlugAndCheckOut();
    ASSERT_NE(d, nullptr);
    rec.log.clear();
    d->MarkUnplugged();
    d->MarkUnplugged();
    EXPECT_EQ(rec.log, std::vector<std::string>{"unplug:" + bus.PathOf(instance)});
    EXPECT_FALSE(d->Attached());
    EXPECT_FALSE(d->UnplugHandler());
}

TEST_F(DeviceTest, UnpluggedDeviceFailsItsRequestsButKeepsWhatItKnew) {
    THidDevice* d = PlugAndCheckOut(Identified(1, 2, u"Known"));
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->ProductString(), u"Known");
    EXPECT_EQ(d->Capabilities().FeatureReportByteLength, 65);
    Unplug(instance);
    uint8_t report[65] = {3};
    EXPECT_FALSE(d->GetFeatureReport(report));
    EXPECT_EQ(d->ProductString(), u"Known");
    EXPECT_EQ(d->Capabilities().FeatureReportByteLength, 65);
    EXPECT_EQ(d->ManufacturerString(), u"");
}

TEST_F(DeviceTest, PulledDeviceFailsTransfersBeforeAnyScanNotices) {
    THidDevice* d = PlugAndCheckOut();
    ASSERT_NE(d, nullptr);
    uint8_t report[65] = {3};
    ASSERT_TRUE(d->GetFeatureReport(report));
    bus.Unplug(instance);  // the loop has not run: the device still counts as attached
    EXPECT_TRUE(d->Attached());
    const HidResult<> failed = d->GetFeatureReport(report);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.Error().Error.Kind, HidErrorKind::Gone);
    EXPECT_EQ(failed.Error().Error.NativeCode, static_cast<uint32_t>(ENODEV));
}

}  // namespace
}  // namespace quillon::testing
