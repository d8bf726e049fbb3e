#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/HidPlatform.h"
#include "hid/PlainEventLoop.h"

namespace quillon::cli {

// Whether the device has the identity of the adapter this program configures.
bool IsAdapter(const HidIdentity& identity);

// What the tool shows of one HID device, gathered while the controller presents it.
struct HidDeviceSummary {
    std::string Path;
    HidIdentity Identity;
    std::u16string Manufacturer;
    std::u16string Product;
    HidCaps Caps;
    bool CanReadWrite = false;
    uint32_t OpenError = 0;
    std::string OpenErrorMessage;
    int AdapterIndex = -1;  // position in the adapter list; -1 for other devices
};

// The tool's part of the device cycle, as the main window has it: the controller's first scan,
// every adapter checked out in list order (entry 0 being the one used by default), and what
// every present HID device says about itself. Everything runs on the creating thread.
class AdapterSession {
  public:
    // followChanges: watch the device set after the first scan (only a command that outlives
    // a device change needs it; the watch costs time to start and, above all, to end).
    AdapterSession(IHidPlatform& platform, bool followChanges);
    ~AdapterSession();
    AdapterSession(const AdapterSession&) = delete;
    AdapterSession& operator=(const AdapterSession&) = delete;

    // Runs the loop until the first scan has been handled; false when it did not come in time.
    bool Scan(std::chrono::milliseconds limit);

    const std::vector<HidDeviceSummary>& Devices() const { return devices_; }
    size_t AdapterCount() const { return adapters_.size(); }
    THidDevice& Adapter(size_t index) const { return *adapters_[index]; }
    const HidDeviceSummary& AdapterSummary(size_t index) const;

    // An adapter by list index ("0", "1", ...) or interface path; an empty selector is the
    // first adapter. Returns false (index untouched) when none matches.
    bool Select(const std::string& selector, size_t& index) const;

    PlainEventLoop& Loop() { return loop_; }
    THidDeviceController& Controller() { return *controller_; }

  private:
    void DeviceChange(THidDeviceController* sender);
    bool Enumerate(THidDevice* device, int index);

    PlainEventLoop loop_;
    std::unique_ptr<THidDeviceController> controller_;
    // Released before the controller goes, as a holder's devices are.
    std::vector<std::unique_ptr<THidDevice>> adapters_;
    std::vector<HidDeviceSummary> devices_;
    std::vector<size_t> adapterSummaries_;  // adapter index -> index into devices_
    bool scanned_ = false;
};

}  // namespace quillon::cli
