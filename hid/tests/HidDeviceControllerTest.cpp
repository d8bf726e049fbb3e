#include "hid/HidDeviceController.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <mutex>

#include "base/Log.h"
#include "base/PlainEventLoop.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/GenericDevice.h"
#include "hid/tests/HidTestSupport.h"

namespace quillon::testing {
namespace {

using Log = std::vector<std::string>;

class ControllerTest : public HidFixture {
  protected:
    // Two devices listed, the first (a) checked out as out; the log cleared.
    void StartWithTheFirstOfTwoCheckedOut(uint32_t& a, THidDevice*& out) {
        a = Plug();
        Plug();
        StartController();
        out = CheckOut(0);
        ASSERT_NE(out, nullptr);
        rec.log.clear();
    }
};

TEST_F(ControllerTest, FirstScanWithNoDeviceStillReportsAChange) {
    StartController();
    EXPECT_EQ(rec.log, Log{"change"});
    EXPECT_EQ(controller->EnumerateDevices(), 0);
    EXPECT_EQ(controller->DeviceCount(), 0);
    EXPECT_EQ(controller->DevThreadSleepTime(), 100);
    CheckInvariants();
}

TEST_F(ControllerTest, FirstScanRunsFromTheLoopAfterHandlersAreSet) {
    const uint32_t a = bus.Plug(MakeDevice());
    controller = std::make_unique<THidDeviceController>(bus, loop);
    controller->SetOnDeviceChange(MakeHandler<&EventRecorder::Change>(&rec));
    controller->SetOnArrival(MakeHandler<&EventRecorder::Arrival>(&rec));
    EXPECT_TRUE(rec.log.empty()) << "assigning handlers before the first scan must not scan";
    EXPECT_EQ(bus.Stats(a).ReadWriteOpens, 0);

    loop.RunPending();
    EXPECT_EQ(rec.log, (Log{"arrival:" + bus.PathOf(a), "change"}));
}

TEST_F(ControllerTest, PresentDevicesArriveInScanOrderAndAreUsableDuringArrival) {
    const uint32_t a = bus.Plug(MakeDevice(Identified(0x169B, 0x0110, u"First")));
    const uint32_t b = bus.Plug(MakeDevice(Identified(0x1234, 0x0001, u"Second")));

    struct ProductReader {
        void Arrival(THidDevice* d) { products.push_back(d->ProductString()); }
        std::vector<std::u16string> products;
    } reader;
    controller = std::make_unique<THidDeviceController>(bus, loop);
    controller->SetOnDeviceChange(MakeHandler<&EventRecorder::Change>(&rec));
    controller->SetOnArrival(MakeHandler<&ProductReader::Arrival>(&reader));
    loop.RunPending();

    EXPECT_EQ(reader.products, (std::vector<std::u16string>{u"First", u"Second"}));
    ASSERT_EQ(controller->DeviceCount(), 2);
    EXPECT_EQ(controller->DeviceAt(0)->InstanceHandle(), a);
    EXPECT_EQ(controller->DeviceAt(1)->InstanceHandle(), b);
    EXPECT_EQ(controller->DeviceAt(1)->Identity.VendorID, 0x1234);
    EXPECT_EQ(controller->CheckedInCount(), 2);
    EXPECT_EQ(rec.log, Log{"change"});
    CheckInvariants();
}

TEST_F(ControllerTest, ScanThatFindsTheSameDevicesFiresNothing) {
    Plug();
    Plug();
    StartController();
    THidDevice* first = controller->DeviceAt(0);
    THidDevice* out = CheckOut(1);
    ASSERT_NE(out, nullptr);
    rec.log.clear();

    bus.AnnounceChange();
    loop.RunPending();

    EXPECT_TRUE(rec.log.empty());
    EXPECT_EQ(controller->DeviceAt(0), first);
    EXPECT_EQ(controller->DeviceAt(1), out);
    EXPECT_TRUE(out->CheckedOut());
    CheckInvariants();
}

TEST_F(ControllerTest, PluggedDeviceIsAppendedThenChangeFires) {
    Plug();
    StartController();
    rec.log.clear();

    const uint32_t b = Plug();
    EXPECT_EQ(rec.log, (Log{"arrival:" + bus.PathOf(b), "change"}));
    ASSERT_EQ(controller->DeviceCount(), 2);
    EXPECT_EQ(controller->DeviceAt(1)->InstanceHandle(), b);
    CheckInvariants();
}

TEST_F(ControllerTest, UnpluggedCheckedInDeviceLeavesTheList) {
    const uint32_t a = Plug();
    const uint32_t b = Plug();
    StartController();
    rec.log.clear();

    Unplug(a);
    const std::string path = bus.PathOf(a);
    EXPECT_EQ(rec.log, (Log{"unplug:" + path, "removal:" + path, "change"}));
    ASSERT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->DeviceAt(0)->InstanceHandle(), b);
    EXPECT_EQ(controller->CheckedInCount(), 1);
    CheckInvariants();
}

TEST_F(ControllerTest, UnpluggedCheckedOutDeviceStaysListedUntilReleased) {
    uint32_t a = 0;
    THidDevice* out = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithTheFirstOfTwoCheckedOut(a, out));

    Unplug(a);
    const std::string path = bus.PathOf(a);
    EXPECT_EQ(rec.log, (Log{"unplug:" + path, "removal:" + path, "change"}));
    EXPECT_EQ(controller->DeviceAt(0), out);
    EXPECT_FALSE(out->Attached());
    EXPECT_EQ(controller->UnpluggedCount(), 1);
    EXPECT_EQ(controller->CheckedOutCount(), 0);
    EXPECT_EQ(controller->CheckedInCount(), 1);
    CheckInvariants();

    // Every later scan treats it again, but its own unplug handler fires only once.
    rec.log.clear();
    bus.AnnounceChange();
    loop.RunPending();
    EXPECT_EQ(rec.log, (Log{"removal:" + path, "change"}));

    // An unplugged entry is skipped by enumeration but keeps its index.
    rec.log.clear();
    EXPECT_EQ(controller->EnumerateDevices(), 1);
    EXPECT_EQ(rec.log, Log{"enumerate:" + bus.PathOf(a + 1) + "@1"});

    Release(out);
    EXPECT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->UnpluggedCount(), 0);
    CheckInvariants();
}

TEST_F(ControllerTest, ReleaseLeavesACheckedInTwinAtTheSameIndex) {
    Plug();
    Plug();
    const uint32_t c = Plug(Identified(0x169B, 0x0110));
    StartController();
    OtherRecorder other;
    THidDevice* out = CheckOut(2);
    ASSERT_NE(out, nullptr);
    out->SetReaderSleepTime(250);
    out->SetUnplugHandler(MakeHandler<&OtherRecorder::Unplug>(&other));
    EXPECT_EQ(controller->CheckedOutCount(), 1);
    EXPECT_EQ(controller->CheckedInCount(), 2);

    Release(out);
    THidDevice* twin = controller->DeviceAt(2);
    ASSERT_NE(twin, nullptr);
    EXPECT_FALSE(twin->CheckedOut());
    EXPECT_TRUE(twin->Attached());
    EXPECT_EQ(twin->InterfacePath(), bus.PathOf(c));
    EXPECT_EQ(twin->Identity.VendorID, 0x169B);
    EXPECT_EQ(twin->Identity.ProductID, 0x0110);
    EXPECT_EQ(twin->ReaderSleepTime(), 250);
    EXPECT_EQ(twin->DataHandler(), MakeHandler<&EventRecorder::Data>(&rec));
    EXPECT_EQ(twin->UnplugHandler(), MakeHandler<&OtherRecorder::Unplug>(&other));
    EXPECT_EQ(controller->CheckedOutCount(), 0);
    EXPECT_EQ(controller->CheckedInCount(), 3);
    EXPECT_FALSE(twin->HasReader());
    CheckInvariants();

    // The twin is the same device to the next scan.
    rec.log.clear();
    bus.AnnounceChange();
    loop.RunPending();
    EXPECT_TRUE(rec.log.empty());
}

TEST_F(ControllerTest, ReleaseOfADeviceThatCanNoLongerBeOpenedDropsItsEntry) {
    const uint32_t a = Plug();
    const uint32_t b = Plug();
    StartController();
    THidDevice* out = CheckOut(0);
    ASSERT_NE(out, nullptr);
    emu::PlugOptions broken;
    broken.OpenError = EIO;
    bus.SetOptions(a, broken);

    Release(out);
    ASSERT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->DeviceAt(0)->InstanceHandle(), b);
    CheckInvariants();

    // Once it can be opened again, the next scan lists it afresh.
    bus.SetOptions(a, {});
    rec.log.clear();
    bus.AnnounceChange();
    loop.RunPending();
    EXPECT_EQ(rec.log, (Log{"arrival:" + bus.PathOf(a), "change"}));
    CheckInvariants();
}

TEST_F(ControllerTest, EnumerationStopsWhenTheHandlerSaysSo) {
    Plug();
    Plug();
    Plug();
    StartController();
    struct StopAtSecond {
        bool Enumerate(THidDevice*, int idx) {
            seen.push_back(idx);
            return seen.size() < 2;
        }
        std::vector<int> seen;
    } stopper;
    controller->SetOnEnumerate(MakeHandler<&StopAtSecond::Enumerate>(&stopper));
    EXPECT_EQ(controller->EnumerateDevices(), 2);
    EXPECT_EQ(stopper.seen, (std::vector<int>{0, 1}));

    controller->SetOnEnumerate({});
    EXPECT_EQ(controller->EnumerateDevices(), 1) << "without a handler the walk ends at once";
}

TEST_F(ControllerTest, EnumerationClosesHandlesOfDevicesLeftCheckedIn) {
    const uint32_t a = Plug();
    const uint32_t b = Plug();
    StartController();
    struct UseAndCheckOutSecond {
        bool Enumerate(THidDevice* d, int idx) {
            if (idx == 1) {
                controller->CheckOutAt(out, idx);
            }
            uint8_t report[65] = {3};
            EXPECT_TRUE(d->GetFeatureReport(report));  // leaves its handle open
            return true;
        }
        THidDeviceController* controller;
        THidDevice* out = nullptr;
    } user{controller.get()};
    controller->SetOnEnumerate(MakeHandler<&UseAndCheckOutSecond::Enumerate>(&user));
    EXPECT_EQ(controller->EnumerateDevices(), 2);
    ASSERT_NE(user.out, nullptr);
    held.emplace_back(user.out);

    EXPECT_EQ(bus.Stats(a).OpenHandles, 0);
    EXPECT_GE(bus.Stats(b).OpenHandles, 1) << "a checked-out device keeps its handles";
    EXPECT_EQ(bus.Stats(a).FeatureTransfers, 1);
}

TEST_F(ControllerTest, CheckOutRefusals) {
    Plug();
    Plug();
    StartController();
    THidDevice* device = reinterpret_cast<THidDevice*>(&rec);
    EXPECT_FALSE(controller->CheckOutAt(device, -1));
    EXPECT_EQ(device, nullptr);
    device = reinterpret_cast<THidDevice*>(&rec);
    EXPECT_FALSE(controller->CheckOutAt(device, 2));
    EXPECT_EQ(device, nullptr);

    ASSERT_NE(CheckOut(1), nullptr);
    EXPECT_EQ(controller->CheckedOutCount(), 1);
    EXPECT_EQ(controller->CheckedInCount(), 1);
    device = reinterpret_cast<THidDevice*>(&rec);
    EXPECT_FALSE(controller->CheckOutAt(device, 1));
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(controller->CheckedOutCount(), 1);
    CheckInvariants();
}

TEST_F(ControllerTest, DevicesThatCannotBeOpenedOrIdentifiedAreLeftOut) {
    emu::PlugOptions unopenable;
    unopenable.OpenError = ENOENT;
    emu::PlugOptions unidentifiable;
    unidentifiable.AttributesFail = true;
    Plug({}, unopenable);
    Plug({}, unidentifiable);
    const uint32_t good = Plug();
    StartController();
    ASSERT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->DeviceAt(0)->InstanceHandle(), good);
    EXPECT_EQ(rec.log, (Log{"arrival:" + bus.PathOf(good), "change"}));
}

TEST_F(ControllerTest, QueryOnlyDeviceIsListedWithTheReasonAndGetsNoReader) {
    emu::PlugOptions queryOnly;
    queryOnly.ReadWriteAllowed = false;
    const uint32_t a = Plug(Identified(0x169B, 0x0110, u"Locked"), queryOnly);
    StartController();
    THidDevice* out = CheckOut(0);
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(out->CanReadWrite());
    EXPECT_EQ(out->OpenFailure().Error.Kind, HidErrorKind::NoPermission);
    EXPECT_EQ(out->OpenFailure().Error.NativeCode, static_cast<uint32_t>(EACCES));
    EXPECT_EQ(out->OpenFailure().Message, "Permission denied");
    EXPECT_EQ(out->Identity.VendorID, 0x169B);
    EXPECT_EQ(out->ProductString(), u"Locked");
    EXPECT_EQ(out->Capabilities().FeatureReportByteLength, 65);
    EXPECT_FALSE(out->HasReader());
    uint8_t report[65] = {3};
    EXPECT_FALSE(out->GetFeatureReport(report));
    EXPECT_EQ(bus.Stats(a).ReadOpens, 0);
}

TEST_F(ControllerTest, ReentrantNotificationIsHandledOnceTheChangeIsOver) {
    Plug();
    StartController();
    struct PlugDuringChange {
        void Change(THidDeviceController*) {
            ++changes;
            if (changes == 2) {
                EXPECT_TRUE(fixture->controller->ChangeInProgress());
                fixture->bus.Plug(fixture->MakeDevice());
                fixture->loop.RunPending();  // a nested loop lets the notification in
                listedDuringChange = fixture->controller->DeviceCount();
            }
        }
        HidFixture* fixture;
        int changes = 0;
        int listedDuringChange = 0;
    };
    PlugDuringChange plugger{this};
    // Assigning a new handler at run time scans at once (no notification involved).
    controller->SetOnDeviceChange(MakeHandler<&PlugDuringChange::Change>(&plugger));
    EXPECT_EQ(plugger.changes, 1);

    Plug();  // its notification runs the second change, which plugs a third device
    EXPECT_GE(plugger.changes, 2);
    EXPECT_EQ(plugger.listedDuringChange, 2) << "no scan may run inside the change in progress";

    // The third device is listed by one more scan once the change is over, without waiting
    // for some later notification.
    ASSERT_TRUE(
        loop.RunUntil([&] { return controller->DeviceCount() == 3; }, std::chrono::seconds(10)));
    EXPECT_EQ(plugger.changes, 3);
    loop.RunPending();
    EXPECT_EQ(plugger.changes, 3) << "the missed notification is made up for once, not again";
}

TEST_F(ControllerTest, AssigningTheSameChangeHandlerDoesNotScan) {
    StartController();
    const uint32_t a = bus.Plug(MakeDevice());  // not yet seen: the loop has not run
    controller->SetOnDeviceChange(MakeHandler<&EventRecorder::Change>(&rec));
    EXPECT_EQ(controller->DeviceCount(), 0);
    EventRecorder second;
    controller->SetOnDeviceChange(MakeHandler<&EventRecorder::Change>(&second));
    EXPECT_EQ(controller->DeviceCount(), 0) << "same code part: nothing happens";

    OtherRecorder other;
    controller->SetOnDeviceChange(MakeHandler<&OtherRecorder::Change>(&other));
    ASSERT_EQ(controller->DeviceCount(), 1);
    EXPECT_EQ(controller->DeviceAt(0)->InstanceHandle(), a);
    EXPECT_EQ(other.changes, 1);
}

TEST_F(ControllerTest, HandlersPassOnlyToDevicesThatCarryTheOldOne) {
    Plug();
    Plug();
    StartController();
    THidDevice* first = controller->DeviceAt(0);
    THidDevice* second = controller->DeviceAt(1);
    OtherRecorder other;
    // The second device has handlers of its own.
    second->SetDataHandler(MakeHandler<&OtherRecorder::Data>(&other));
    second->SetDataErrorHandler(MakeHandler<&OtherRecorder::DataError>(&other));
    second->SetUnplugHandler(MakeHandler<&OtherRecorder::Unplug>(&other));

    struct Third {
        void Data(THidDevice*, uint8_t, std::span<const uint8_t>) {}
        void DataError(THidDevice*, const HidFailure&) {}
        void Unplug(THidDevice*) {}
    } third;
    controller->SetOnDeviceData(MakeHandler<&Third::Data>(&third));
    controller->SetOnDeviceDataError(MakeHandler<&Third::DataError>(&third));
    controller->SetOnDeviceUnplug(MakeHandler<&Third::Unplug>(&third));

    EXPECT_EQ(first->DataHandler(), MakeHandler<&Third::Data>(&third));
    EXPECT_EQ(first->DataErrorHandler(), MakeHandler<&Third::DataError>(&third));
    EXPECT_EQ(first->UnplugHandler(), MakeHandler<&Third::Unplug>(&third));
    EXPECT_EQ(second->DataHandler(), MakeHandler<&OtherRecorder::Data>(&other));
    EXPECT_EQ(second->DataErrorHandler(), MakeHandler<&OtherRecorder::DataError>(&other));
    EXPECT_EQ(second->UnplugHandler(), MakeHandler<&OtherRecorder::Unplug>(&other));

    // Devices created later take the controller's current handlers.
    Plug();
    THidDevice* later = controller->DeviceAt(2);
    EXPECT_EQ(later->DataHandler(), MakeHandler<&Third::Data>(&third));
    EXPECT_EQ(later->UnplugHandler(), MakeHandler<&Third::Unplug>(&third));
}

TEST_F(ControllerTest, HandlersCompareByCodeNotByReceiver) {
    Plug();
    StartController();
    EventRecorder another;
    // Same member function, another object: counts as unchanged, so nothing is passed on.
    controller->SetOnDeviceData(MakeHandler<&EventRecorder::Data>(&another));
    EXPECT_EQ(controller->OnDeviceData().Receiver(), &rec);
    EXPECT_EQ(controller->DeviceAt(0)->DataHandler().Receiver(), &rec);
}

TEST_F(ControllerTest, SleepTimePassesOnWithinTheDevicesRange) {
    Plug();
    Plug();
    StartController();
    THidDevice* own = controller->DeviceAt(1);
    own->SetReaderSleepTime(300);

    controller->SetDevThreadSleepTime(5);
    EXPECT_EQ(controller->DevThreadSleepTime(), 5);
    EXPECT_EQ(controller->DeviceAt(0)->ReaderSleepTime(), 100);

    controller->SetDevThreadSleepTime(100);
    controller->SetDevThreadSleepTime(250);
    EXPECT_EQ(controller->DeviceAt(0)->ReaderSleepTime(), 250);
    EXPECT_EQ(own->ReaderSleepTime(), 300);

    Plug();
    EXPECT_EQ(controller->DeviceAt(2)->ReaderSleepTime(), 100) << "new devices start at 100";
}

TEST_F(ControllerTest, DestructionLeavesCheckedOutDevicesToTheirHolders) {
    uint32_t a = 0;
    THidDevice* out = nullptr;
    ASSERT_NO_FATAL_FAILURE(StartWithTheFirstOfTwoCheckedOut(a, out));

    controller.reset();
    EXPECT_EQ(rec.log, Log{"unplug:" + bus.PathOf(a)});
    EXPECT_FALSE(out->Attached());
    EXPECT_EQ(out->Controller(), nullptr);
    Release(out);  // must not touch the controller that is gone
}

// Arrivals, departures and devices it cannot open reach the log, each scan's failures again.
TEST(ControllerLogTest, ArrivalsDeparturesAndDevicesItCannotOpenAreLogged) {
    std::mutex mutex;
    std::vector<std::pair<LogCategory, std::string>> lines;
    ScopedLogSink sink(LogSink{{}, [&](LogCategory category, std::string_view text) {
                                   std::lock_guard lock(mutex);
                                   lines.emplace_back(category, std::string(text));
                               }});
    emu::EmulatedBus bus;
    PlainEventLoop loop;
    const uint32_t kept = bus.Plug(std::make_shared<emu::GenericDevice>());
    bus.Plug(std::make_shared<emu::GenericDevice>(), emu::PlugOptions{.OpenError = EBUSY});
    bus.Plug(std::make_shared<emu::GenericDevice>(), emu::PlugOptions{.ReadWriteAllowed = false});
    THidDeviceController controller(bus, loop);
    loop.RunPending();
    bus.Unplug(kept);
    controller.DeviceChange();

    std::vector<std::string> hid;
    for (const auto& [category, text] : lines) {
        EXPECT_EQ(category, LogCategory::Hid);
        hid.push_back(text);
    }
    const std::string a = emu::EmulatedBus::PathOf(kept);
    const std::string b = emu::EmulatedBus::PathOf(kept + 1);
    const std::string c = emu::EmulatedBus::PathOf(kept + 2);
    EXPECT_EQ(hid, (std::vector<std::string>{
                       b + ": Device cannot be opened",
                       a + " arrived",
                       c + " arrived, no read/write access: Permission denied",
                       b + ": Device cannot be opened",  // every scan tries it again
                       a + " is gone",
                   }));
}

}  // namespace
}  // namespace quillon::testing
