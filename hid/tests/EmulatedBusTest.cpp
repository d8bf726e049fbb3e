#include "hid/emulated/EmulatedBus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "base/PlainEventLoop.h"
#include "hid/ReportDescriptor.h"
#include "hid/emulated/GenericDevice.h"

namespace quillon::emu {
namespace {

// The failure's errno value.
template <class T>
uint32_t CodeOf(const HidResult<T>& result) {
    return result ? 0 : result.Error().Error.NativeCode;
}

class BusTest : public ::testing::Test {
  protected:
    std::unique_ptr<IHidHandle> Open(const std::string& path, HidAccess access) {
        auto opened = bus.Open(path, access);
        return opened ? std::move(*opened) : nullptr;
    }

    uint32_t PlugGeneric(PlugOptions options = {}) {
        model = std::make_shared<GenericDevice>();
        return bus.Plug(model, options);
    }

    PlainEventLoop loop;
    EmulatedBus bus;
    std::shared_ptr<GenericDevice> model;
};

TEST_F(BusTest, DevicesAreListedWithStablePathsHandlesAndPorts) {
    const uint32_t a = PlugGeneric();
    const uint32_t b = PlugGeneric();
    EXPECT_NE(a, b);
    auto present = bus.PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].InterfacePath, "emu:" + std::to_string(a));
    EXPECT_EQ(present[0].InstanceHandle, a);
    EXPECT_EQ(present[0].Location, "emulated-1");
    EXPECT_EQ(present[1].Location, "emulated-2");
    bus.Unplug(a);
    const uint32_t c = PlugGeneric(PlugOptions{.Location = "emulated-1"});  // back in its port
    EXPECT_NE(c, a) << "a device that returns is a new device";
    const uint32_t d = PlugGeneric();
    present = bus.PresentInterfaces();
    ASSERT_EQ(present.size(), 3u);
    EXPECT_EQ(present[0].InstanceHandle, b);
    EXPECT_EQ(present[1].InstanceHandle, c);
    EXPECT_EQ(present[1].Location, "emulated-1");
    EXPECT_EQ(present[2].InstanceHandle, d);
    EXPECT_EQ(present[2].Location, "emulated-4");
}

TEST_F(BusTest, OpenModesAreHonoured) {
    PlugOptions queryOnly;
    queryOnly.ReadWriteAllowed = false;
    const std::string path = EmulatedBus::PathOf(PlugGeneric(queryOnly));
    const auto refused = bus.Open(path, HidAccess::ReadWrite);
    ASSERT_FALSE(refused);
    EXPECT_EQ(CodeOf(refused), static_cast<uint32_t>(EACCES));
    EXPECT_EQ(refused.Error().Error.Kind, HidErrorKind::NoPermission);
    EXPECT_EQ(refused.Error().Message, "Permission denied");
    EXPECT_FALSE(bus.Open(path, HidAccess::Read));
    auto query = Open(path, HidAccess::QueryOnly);
    ASSERT_NE(query, nullptr);
    EXPECT_TRUE(query->GetAttributes());
    uint8_t report[65] = {3};
    EXPECT_EQ(CodeOf(query->GetFeature(report)), static_cast<uint32_t>(EACCES));

    const auto missing = bus.Open("emu:999", HidAccess::QueryOnly);
    EXPECT_EQ(CodeOf(missing), static_cast<uint32_t>(ENOENT));
    EXPECT_EQ(missing.Error().Error.Kind, HidErrorKind::Gone);
}

TEST_F(BusTest, CapabilitiesComeFromTheModelsDescriptor) {
    const std::string path = EmulatedBus::PathOf(PlugGeneric());
    auto handle = Open(path, HidAccess::QueryOnly);
    ASSERT_NE(handle, nullptr);
    const auto descriptor = handle->GetReportDescriptor();
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(ParseReportDescriptorCaps(*descriptor), (HidCaps{9, 0, 65}));
}

TEST_F(BusTest, InputReportsQueuePerReadHandleAndWakeWaitEndsAWait) {
    const uint32_t a = PlugGeneric();
    auto first = Open(EmulatedBus::PathOf(a), HidAccess::Read);
    auto second = Open(EmulatedBus::PathOf(a), HidAccess::Read);
    ASSERT_TRUE(model->SendInput({1, 2, 3}));
    uint8_t buffer[9] = {};
    ASSERT_EQ(*first->WaitInput(0), HidWaitResult::Ready);
    EXPECT_EQ(*first->ReadInput(buffer), 3u);
    EXPECT_EQ(*first->WaitInput(0), HidWaitResult::Timeout);
    ASSERT_EQ(*second->WaitInput(0), HidWaitResult::Ready) << "every open handle gets its copy";

    std::thread waker([&] { first->WakeWait(); });
    EXPECT_EQ(*first->WaitInput(-1), HidWaitResult::Woken);
    waker.join();
}

TEST_F(BusTest, UnplugFailsOpenHandlesLikeARealUnplug) {
    const uint32_t a = PlugGeneric();
    auto rw = Open(EmulatedBus::PathOf(a), HidAccess::ReadWrite);
    auto reader = Open(EmulatedBus::PathOf(a), HidAccess::Read);
    std::thread unplugger([&] { bus.Unplug(a); });
    const auto waited = reader->WaitInput(-1);
    unplugger.join();
    EXPECT_EQ(CodeOf(waited), static_cast<uint32_t>(ENODEV));
    EXPECT_EQ(waited.Error().Error.Kind, HidErrorKind::Gone);
    uint8_t buffer[65] = {3};
    EXPECT_EQ(CodeOf(reader->ReadInput(std::span(buffer).first(9))), static_cast<uint32_t>(EIO));
    EXPECT_EQ(CodeOf(rw->GetFeature(buffer)), static_cast<uint32_t>(ENODEV));
    EXPECT_FALSE(model->Attached());
    EXPECT_FALSE(bus.Open(EmulatedBus::PathOf(a), HidAccess::QueryOnly));
}

TEST_F(BusTest, ChosenTransferFails) {
    PlugOptions options;
    options.FailTransfer = 2;
    auto handle = Open(EmulatedBus::PathOf(PlugGeneric(options)), HidAccess::ReadWrite);
    uint8_t report[65] = {3};
    EXPECT_TRUE(handle->SetFeature(report));
    EXPECT_TRUE(handle->GetFeature(report));
    const auto failed = handle->GetFeature(report);
    EXPECT_EQ(CodeOf(failed), static_cast<uint32_t>(EIO));
    EXPECT_EQ(failed.Error().Error.Kind, HidErrorKind::TransferFailed);
    EXPECT_EQ(failed.Error().Message, "Input/output error");
    EXPECT_TRUE(handle->GetFeature(report));
    EXPECT_EQ(model->SetReports().size(), 1u);
}

TEST_F(BusTest, WatchersHearOfPlugAndUnplugThroughTheirLoop) {
    int changes = 0;
    auto watch = bus.WatchDeviceChanges(loop, [&] { ++changes; });
    const uint32_t a = PlugGeneric();
    EXPECT_EQ(changes, 0) << "notifications arrive through the loop";
    loop.RunPending();
    EXPECT_EQ(changes, 1);
    bus.Unplug(a);
    loop.RunPending();
    EXPECT_EQ(changes, 2);
    bus.AnnounceChange();
    watch.reset();
    loop.RunPending();
    EXPECT_EQ(changes, 2) << "an ended watch hears nothing, even of what was already posted";
}

// A model that pulls its own plug in the middle of a transfer.
class SelfUnplugging final : public IDeviceModel {
  public:
    HidIdentity Identity() const override { return {1, 2, 3}; }
    std::u16string Manufacturer() const override { return u"m"; }
    std::u16string Product() const override { return u"p"; }
    std::vector<uint8_t> ReportDescriptor() const override { return MakeVendorDescriptor(8, 0, 8); }
    bool GetFeature(std::span<uint8_t>, int& errorCode) override {
        host->RequestUnplug();
        detachedDuringTransfer = host == nullptr;
        errorCode = EPIPE;
        return false;
    }
    bool SetFeature(std::span<const uint8_t>, int&) override { return true; }
    void Attach(IDeviceModelHost* h) override { host = h; }
    IDeviceModelHost* host = nullptr;
    bool detachedDuringTransfer = true;
};

TEST_F(BusTest, ModelUnpluggingItselfIsDetachedAfterItsTransfer) {
    auto self = std::make_shared<SelfUnplugging>();
    const uint32_t a = bus.Plug(self);
    auto handle = Open(EmulatedBus::PathOf(a), HidAccess::ReadWrite);
    uint8_t report[9] = {1};
    EXPECT_EQ(CodeOf(handle->GetFeature(report)), static_cast<uint32_t>(EPIPE));
    EXPECT_FALSE(self->detachedDuringTransfer);
    EXPECT_EQ(self->host, nullptr);
    EXPECT_FALSE(bus.IsPlugged(a));
}

}  // namespace
}  // namespace quillon::emu
