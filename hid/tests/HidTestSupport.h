#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/PlainEventLoop.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/emulated/EmulatedBus.h"
#include "hid/emulated/GenericDevice.h"

namespace quillon::testing {

constexpr std::chrono::seconds kDeadline{10};

// Receives every event of the controller and its devices and writes them down in order, as
// "kind:path" lines, with the data of input reports and the thread they arrived on.
class EventRecorder {
  public:
    struct Report {
        THidDevice* device;
        uint8_t reportId;
        std::vector<uint8_t> data;
        std::thread::id thread;
    };

    void Change(THidDeviceController*) { log.push_back("change"); }
    void Arrival(THidDevice* d) { log.push_back("arrival:" + d->InterfacePath()); }
    void Removal(THidDevice* d) { log.push_back("removal:" + d->InterfacePath()); }
    void Unplug(THidDevice* d) { log.push_back("unplug:" + d->InterfacePath()); }
    void Data(THidDevice* d, uint8_t reportId, std::span<const uint8_t> data) {
        reports.push_back(Report{d, reportId, std::vector<uint8_t>(data.begin(), data.end()),
                                 std::this_thread::get_id()});
    }
    void DataError(THidDevice*, const HidFailure& error) {
        errors.push_back(error);
        errorTimes.push_back(std::chrono::steady_clock::now());
    }
    bool Enumerate(THidDevice* d, int idx) {
        log.push_back("enumerate:" + d->InterfacePath() + "@" + std::to_string(idx));
        return true;
    }

    std::vector<std::string> log;
    std::vector<Report> reports;
    std::vector<HidFailure> errors;
    std::vector<std::chrono::steady_clock::time_point> errorTimes;
};

// A second receiver type with the same signatures: its handlers have other code parts.
class OtherRecorder {
  public:
    void Data(THidDevice*, uint8_t, std::span<const uint8_t>) { ++data; }
    void DataError(THidDevice*, const HidFailure&) { ++errors; }
    void Unplug(THidDevice*) { ++unplugs; }
    void Change(THidDeviceController*) { ++changes; }
    int data = 0;
    int errors = 0;
    int unplugs = 0;
    int changes = 0;
};

// The loop, the emulated bus and a controller whose events all go to one recorder.
class HidFixture : public ::testing::Test {
  public:  // nested handler objects in the tests reach in
    ~HidFixture() override {
        held.clear();  // holders release before the controller goes
        controller.reset();
    }

    // Creates the controller with every handler set, and runs its first scan.
    void StartController() {
        controller = std::make_unique<THidDeviceController>(bus, loop);
        controller->SetOnDeviceChange(MakeHandler<&EventRecorder::Change>(&rec));
        controller->SetOnArrival(MakeHandler<&EventRecorder::Arrival>(&rec));
        controller->SetOnRemoval(MakeHandler<&EventRecorder::Removal>(&rec));
        controller->SetOnDeviceUnplug(MakeHandler<&EventRecorder::Unplug>(&rec));
        controller->SetOnDeviceData(MakeHandler<&EventRecorder::Data>(&rec));
        controller->SetOnDeviceDataError(MakeHandler<&EventRecorder::DataError>(&rec));
        controller->SetOnEnumerate(MakeHandler<&EventRecorder::Enumerate>(&rec));
        loop.RunPending();
    }

    std::shared_ptr<emu::GenericDevice> MakeDevice(emu::GenericDeviceConfig config = {}) {
        return std::make_shared<emu::GenericDevice>(std::move(config));
    }

    // Plugs a generic device and lets the controller see it.
    uint32_t Plug(emu::GenericDeviceConfig config = {}, emu::PlugOptions options = {}) {
        models.push_back(MakeDevice(std::move(config)));
        const uint32_t instance = bus.Plug(models.back(), options);
        loop.RunPending();
        return instance;
    }

    void Unplug(uint32_t instance) {
        bus.Unplug(instance);
        loop.RunPending();
    }

    // Checks out the device at index; the fixture holds it until the test releases it.
    THidDevice* CheckOut(int index) {
        THidDevice* device = nullptr;
        if (!controller->CheckOutAt(device, index)) {
            return nullptr;
        }
        held.emplace_back(device);
        return device;
    }

    void Release(THidDevice* device) {
        for (auto it = held.begin(); it != held.end(); ++it) {
            if (it->get() == device) {
                held.erase(it);
                return;
            }
        }
        FAIL() << "device not held";
    }

    bool RunUntil(const std::function<bool()>& done) { return loop.RunUntil(done, kDeadline); }

    // Waits, without running the loop, until the bus shows a thread inside WaitInput.
    bool WaitForReaderWaiting(uint32_t instance) {
        const auto deadline = std::chrono::steady_clock::now() + kDeadline;
        while (bus.Stats(instance).WaitersNow == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }

    void CheckInvariants() const {
        int checkedOut = 0;
        int unplugged = 0;
        for (int i = 0; i < controller->DeviceCount(); ++i) {
            const THidDevice* d = controller->DeviceAt(i);
            if (!d->Attached()) {
                EXPECT_TRUE(d->CheckedOut()) << "unplugged entries are always checked out";
            }
            checkedOut += d->CheckedOut() ? 1 : 0;
            unplugged += d->Attached() ? 0 : 1;
        }
        EXPECT_EQ(controller->CheckedInCount(), controller->DeviceCount() - checkedOut);
        EXPECT_EQ(controller->UnpluggedCount(), unplugged);
        EXPECT_EQ(controller->CheckedOutCount(), checkedOut - unplugged);
    }

    PlainEventLoop loop;
    emu::EmulatedBus bus;
    EventRecorder rec;
    std::vector<std::shared_ptr<emu::GenericDevice>> models;
    std::unique_ptr<THidDeviceController> controller;
    std::vector<std::unique_ptr<THidDevice>> held;
};

inline emu::GenericDeviceConfig Identified(uint16_t vendor, uint16_t product,
                                           std::u16string name = u"Device") {
    emu::GenericDeviceConfig config;
    config.Identity = HidIdentity{vendor, product, 0x0200};
    config.Product = std::move(name);
    return config;
}

}  // namespace quillon::testing
