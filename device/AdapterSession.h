#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/PlainEventLoop.h"
#include "config/DeviceSettings.h"
#include "device/Adapter.h"
#include "device/AdapterList.h"
#include "device/AdapterService.h"
#include "device/ListedAdapter.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"
#include "hid/HidPlatform.h"

namespace quillon {

// What is shown of one HID device, gathered while the controller presents it.
struct HidDeviceSummary {
    std::string Path;
    HidIdentity Identity;
    std::u16string Manufacturer;
    std::u16string Product;
    HidCaps Caps;
    bool CanReadWrite = false;
    HidFailure OpenError;  // why it could not be opened for writing
    std::string OpenErrorMessage;
    int AdapterIndex = -1;  // position in the adapter list; -1 for other devices
};

// The adapters as a front end without a window sees them, and what may be done with each: the
// controller's first scan, every adapter checked out in list order (entry 0 being the one used
// by default), what every present HID device says about itself, and the adapter's operations
// (settings record, raw reports, reset), each with its failure in words. Everything runs on
// the creating thread.
class AdapterSession {
  public:
    // followChanges: watch the device set after the first scan (only a command that outlives
    // a device change needs it; the watch costs time to start and, above all, to end).
    AdapterSession(IHidPlatform& platform, bool followChanges);
    ~AdapterSession();
    AdapterSession(const AdapterSession&) = delete;
    AdapterSession& operator=(const AdapterSession&) = delete;

    // Runs the loop until the first scan has been handled.
    AdapterResult<> Scan(std::chrono::milliseconds limit);

    const std::vector<HidDeviceSummary>& Devices() const { return devices_; }
    size_t AdapterCount() const { return adapters_.Count(); }
    THidDevice& Adapter(size_t index) const { return *adapters_.At(index); }
    const HidDeviceSummary& AdapterSummary(size_t index) const;

    // An adapter by list index ("0", "1", ...) or interface path; an empty selector is the
    // first adapter.
    std::optional<size_t> Find(const std::string& selector) const;

    // Whether the adapter was opened for writing; the advice or the reason when not.
    AdapterResult<> CheckWritable(size_t index) const;
    // The adapter's operations; writes through it are held against other programs, and
    // Claim holds the adapter for the rest of the session.
    AdapterService& Service(size_t index);
    // The adapter's feature report length, at most the report buffer's; 0 when unknown.
    size_t FeatureLength(size_t index) const;

    // Prepares the record read before (its bytes beyond the settings are the adapter's) with
    // the values, writes it, reads it back and checks that the adapter kept it.
    AdapterResult<> WriteSettings(size_t index, const SettingsControlValues& values,
                                  ReportBuffer record);

    PlainEventLoop& Loop() { return loop_; }
    THidDeviceController& Controller() { return *controller_; }

  private:
    void DeviceChange(THidDeviceController* sender);
    bool Enumerate(THidDevice* device, int index);

    PlainEventLoop loop_;
    std::unique_ptr<THidDeviceController> controller_;
    // Released before the controller goes, as a holder's devices are.
    AdapterList adapters_{AdapterList::RefusedAdapters::LeaveOut};
    std::vector<HidDeviceSummary> devices_;
    std::vector<size_t> adapterSummaries_;  // adapter index -> index into devices_
    std::vector<std::unique_ptr<ListedAdapter>> services_;
    bool scanned_ = false;
};

}  // namespace quillon
