#include "hid/emulated/EmulatedBus.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "hid/PlainEventLoop.h"
#include "hid/ReportDescriptor.h"
#include "hid/emulated/GenericDevice.h"

namespace quillon::emu {
namespace {

class BusTest : public ::testing::Test {
  protected:
    uint32_t PlugGeneric(PlugOptions options = {}) {
        model = std::make_shared<GenericDevice>();
        return bus.Plug(model, options);
    }

    PlainEventLoop loop;
    EmulatedBus bus;
    std::shared_ptr<GenericDevice> model;
};

TEST_F(BusTest, DevicesAreListedWithStablePathsAndHandles) {
    const uint32_t a = PlugGeneric();
    const uint32_t b = PlugGeneric();
    EXPECT_NE(a, b);
    auto present = bus.PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].InterfacePath, "emu:" + std::to_string(a));
    EXPECT_EQ(present[0].InstanceHandle, a);
    bus.Unplug(a);
    const uint32_t c = PlugGeneric();
    EXPECT_NE(c, a) << "a device that returns is a new device";
    present = bus.PresentInterfaces();
    ASSERT_EQ(present.size(), 2u);
    EXPECT_EQ(present[0].InstanceHandle, b);
    EXPECT_EQ(present[1].InstanceHandle, c);
}

TEST_F(BusTest, OpenModesAreHonoured) {
    PlugOptions queryOnly;
    queryOnly.ReadWriteAllowed = false;
    const std::string path = EmulatedBus::PathOf(PlugGeneric(queryOnly));
    EXPECT_EQ(bus.Open(path, HidAccess::ReadWrite), nullptr);
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(EACCES));
    EXPECT_EQ(bus.ErrorMessage(EACCES), "Permission denied");
    EXPECT_EQ(bus.Open(path, HidAccess::Read), nullptr);
    auto query = bus.Open(path, HidAccess::QueryOnly);
    ASSERT_NE(query, nullptr);
    EXPECT_TRUE(query->GetAttributes());
    uint8_t report[65] = {3};
    EXPECT_FALSE(query->GetFeature(report));
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(EACCES));

    EXPECT_EQ(bus.Open("emu:999", HidAccess::QueryOnly), nullptr);
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(ENOENT));
}

TEST_F(BusTest, CapabilitiesComeFromTheModelsDescriptor) {
    const std::string path = EmulatedBus::PathOf(PlugGeneric());
    auto handle = bus.Open(path, HidAccess::QueryOnly);
    ASSERT_NE(handle, nullptr);
    const auto descriptor = handle->GetReportDescriptor();
    ASSERT_TRUE(descriptor);
    EXPECT_EQ(ParseReportDescriptorCaps(*descriptor), (HidCaps{9, 0, 65}));
}

TEST_F(BusTest, InputReportsQueuePerReadHandleAndWakeWaitEndsAWait) {
    const uint32_t a = PlugGeneric();
    auto first = bus.Open(EmulatedBus::PathOf(a), HidAccess::Read);
    auto second = bus.Open(EmulatedBus::PathOf(a), HidAccess::Read);
    ASSERT_TRUE(model->SendInput({1, 2, 3}));
    uint8_t buffer[9] = {};
    ASSERT_EQ(first->WaitInput(0), HidWaitResult::Ready);
    EXPECT_EQ(first->ReadInput(buffer), 3);
    EXPECT_EQ(first->WaitInput(0), HidWaitResult::Timeout);
    ASSERT_EQ(second->WaitInput(0), HidWaitResult::Ready) << "every open handle gets its copy";

    std::thread waker([&] { first->WakeWait(); });
    EXPECT_EQ(first->WaitInput(-1), HidWaitResult::Woken);
    waker.join();
}

TEST_F(BusTest, UnplugFailsOpenHandlesLikeARealUnplug) {
    const uint32_t a = PlugGeneric();
    auto rw = bus.Open(EmulatedBus::PathOf(a), HidAccess::ReadWrite);
    auto reader = bus.Open(EmulatedBus::PathOf(a), HidAccess::Read);
    std::thread unplugger([&] { bus.Unplug(a); });
    EXPECT_EQ(reader->WaitInput(-1), HidWaitResult::Failed);
    unplugger.join();
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(ENODEV));
    uint8_t buffer[65] = {3};
    EXPECT_EQ(reader->ReadInput(std::span(buffer).first(9)), -1);
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(EIO));
    EXPECT_FALSE(rw->GetFeature(buffer));
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(ENODEV));
    EXPECT_FALSE(model->Attached());
    EXPECT_EQ(bus.Open(EmulatedBus::PathOf(a), HidAccess::QueryOnly), nullptr);
}

TEST_F(BusTest, ChosenTransferFails) {
    PlugOptions options;
    options.FailTransfer = 2;
    auto handle = bus.Open(EmulatedBus::PathOf(PlugGeneric(options)), HidAccess::ReadWrite);
    uint8_t report[65] = {3};
    EXPECT_TRUE(handle->SetFeature(report));
    EXPECT_TRUE(handle->GetFeature(report));
    EXPECT_FALSE(handle->GetFeature(report));
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(EIO));
    EXPECT_TRUE(handle->GetFeature(report));
    EXPECT_EQ(model->SetReports().size(), 1u);
}

TEST_F(BusTest, ErrorsAreKeptPerThread) {
    EXPECT_EQ(bus.Open("emu:12345", HidAccess::QueryOnly), nullptr);
    uint32_t other = 1;
    std::thread([&] { other = bus.LastError(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(ENOENT));
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
    auto handle = bus.Open(EmulatedBus::PathOf(a), HidAccess::ReadWrite);
    uint8_t report[9] = {1};
    EXPECT_FALSE(handle->GetFeature(report));
    EXPECT_EQ(bus.LastError(), static_cast<uint32_t>(EPIPE));
    EXPECT_FALSE(self->detachedDuringTransfer);
    EXPECT_EQ(self->host, nullptr);
    EXPECT_FALSE(bus.IsPlugged(a));
}

}  // namespace
}  // namespace quillon::emu
