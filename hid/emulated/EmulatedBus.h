#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hid/HidPlatform.h"
#include "hid/emulated/DeviceModel.h"

namespace quillon::emu {

// How a plugged device behaves at the bus, beside what its model answers.
struct PlugOptions {
    // false: only query opens succeed; read/write and read opens fail with EACCES, as a node
    // without a udev rule does.
    bool ReadWriteAllowed = true;
    // Non-zero: every open fails with this errno value.
    int OpenError = 0;
    // The attribute query fails (EIO): the device cannot be identified.
    bool AttributesFail = false;
    // Feature transfer number FailTransfer (0 = the first one) fails with EIO; -1: none.
    int FailTransfer = -1;
    // Each feature transfer takes this long, as a slow device would.
    int TransferDelayMs = 0;
    // Input reports kept per open handle before the oldest are dropped.
    size_t InputQueueLimit = 4096;
    // Where the device is plugged in (THidPnPInfo::Location). Empty: "emulated-N", N counting
    // the devices plugged into the bus from 1; give the same text again to plug a device back
    // into the port it came from.
    std::string Location{};
};

// What the bus saw of one device, for tests.
struct DeviceStats {
    int ReadWriteOpens = 0;
    int QueryOnlyOpens = 0;
    int ReadOpens = 0;
    int OpenHandles = 0;
    int StringRequests = 0;
    int FeatureTransfers = 0;
    int InputWaits = 0;  // WaitInput calls begun
    int WaitersNow = 0;  // threads inside WaitInput right now
    int DroppedReports = 0;
};

// An in-process HID bus: tests and the program's demo mode plug device models into it and pull
// them out again. Paths are "emu:N" with N the device's instance handle, which is unique for
// the bus's life. Failures carry errno values, worded by the C library. After an unplug every
// handle of the device fails as on a real unplug: transfers with ENODEV, reads with EIO.
class EmulatedBus final : public IHidPlatform {
  public:
    explicit EmulatedBus(uint32_t firstInstance = 1);
    ~EmulatedBus() override;
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Any thread. Returns the device's instance handle.
    uint32_t Plug(std::shared_ptr<IDeviceModel> model, const PlugOptions& options = {});
    // Any thread; false when the device is not plugged.
    bool Unplug(uint32_t instance);
    void UnplugAll();
    // Changes how a plugged device behaves from now on.
    bool SetOptions(uint32_t instance, const PlugOptions& options);
    // Queues an input report for the device's open handles, as its model would.
    bool SendInputReport(uint32_t instance, const std::vector<uint8_t>& report);
    // Tells the watchers that something changed, although nothing did (another device's node).
    void AnnounceChange();

    static std::string PathOf(uint32_t instance);
    bool IsPlugged(uint32_t instance) const;
    DeviceStats Stats(uint32_t instance) const;
    // Handles destroyed while another thread was inside one of their calls: must stay 0.
    int HandlesClosedWhileInUse() const { return closedWhileInUse_->load(); }

    std::vector<THidPnPInfo> PresentInterfaces() override;
    HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path, HidAccess access) override;
    HidFailure GoneFailure(const std::string& path) override;
    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override;

    struct Slot;
    struct Watcher;

  private:
    std::shared_ptr<Slot> Find(uint32_t instance) const;
    std::shared_ptr<Slot> FindPath(const std::string& path) const;
    void NotifyWatchers();
    void RemoveWatcher(const std::shared_ptr<Watcher>& watcher);
    bool Detach(const std::shared_ptr<Slot>& slot);

    mutable std::mutex mutex_;
    uint32_t nextInstance_;
    std::vector<std::shared_ptr<Slot>> slots_;  // every device ever plugged, in plug order
    std::vector<std::shared_ptr<Watcher>> watchers_;
    std::shared_ptr<std::atomic<int>> closedWhileInUse_;
};

}  // namespace quillon::emu
