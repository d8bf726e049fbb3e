#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "base/EventLoop.h"
#include "hid/HidDevice.h"
#include "hid/HidHandlers.h"
#include "hid/HidPlatform.h"

namespace quillon {

// Keeps the list of present HID devices current and hands devices out. It rescans whenever the
// platform reports a change of the device set, reconciles the scan with its list (vanished
// devices are marked unplugged, new ones appended, unchanged ones keep their objects) and
// reports the outcome through its events. Everything runs on the thread that owns the event
// loop; the platform and the loop must outlive the controller and every device it handed out.
class THidDeviceController {
  public:
    static constexpr int kDefaultDevThreadSleepTime = 100;

    // Whether the platform's device changes are watched after the first scan. A short-lived
    // owner that looks at the devices once need not pay for a watch it never uses.
    enum Watching { FollowChanges, ScanOnce };

    // Posts itself one change notification: the first scan runs from the loop, once the owner
    // has set its handlers. Handlers assigned before that first scan are only stored.
    THidDeviceController(IHidPlatform& platform, IEventLoop& loop,
                         Watching watching = FollowChanges);
    THidDeviceController(const THidDeviceController&) = delete;
    THidDeviceController& operator=(const THidDeviceController&) = delete;
    // Checked-in devices are destroyed; checked-out ones are marked unplugged and left to their
    // holders, whose readers keep running until they release them.
    ~THidDeviceController();

    // Calls OnEnumerate for each attached device in list order until it answers false; Idx is
    // the list index (unplugged checked-out entries count). Returns the number visited.
    int EnumerateDevices();
    // Checks out the device at a list index and starts its reader; false and nullptr when the
    // index is out of range or the entry is already checked out.
    bool CheckOutAt(THidDevice*& device, int index);
    // Rescans and reconciles; normally driven by the platform's change notification.
    void DeviceChange();
    // Fires OnDeviceChange once more, under the same guard as a change notification: for an
    // owner that held back its reaction to an earlier change. A notification that arrives
    // while the handler runs a nested loop (a message box) waits for it, as during a change.
    void RepeatDeviceChange();

    const TNotifyEvent& OnDeviceChange() const { return onDeviceChange_; }
    // A different handler assigned after the first scan runs a scan at once.
    void SetOnDeviceChange(const TNotifyEvent& handler);
    const THidEnumerateEvent& OnEnumerate() const { return onEnumerate_; }
    void SetOnEnumerate(const THidEnumerateEvent& handler) { onEnumerate_ = handler; }
    const THidPlugEvent& OnArrival() const { return onArrival_; }
    void SetOnArrival(const THidPlugEvent& handler) { onArrival_ = handler; }
    const THidPlugEvent& OnRemoval() const { return onRemoval_; }
    void SetOnRemoval(const THidPlugEvent& handler) { onRemoval_ = handler; }
    // The next three pass a new handler on to every listed device that still carries the old
    // one, and to devices created later.
    const THidDataEvent& OnDeviceData() const { return onDeviceData_; }
    void SetOnDeviceData(const THidDataEvent& handler);
    const THidDataErrorEvent& OnDeviceDataError() const { return onDeviceDataError_; }
    void SetOnDeviceDataError(const THidDataErrorEvent& handler);
    const THidPlugEvent& OnDeviceUnplug() const { return onDeviceUnplug_; }
    void SetOnDeviceUnplug(const THidPlugEvent& handler);

    int DevThreadSleepTime() const { return devThreadSleepTime_; }
    // Passed on to every listed device whose reader sleep time equals the old value (devices
    // accept 10 to 10000 ms only); stored here unchecked. New devices start with 100.
    void SetDevThreadSleepTime(int ms);

    int CheckedInCount() const { return checkedInCount_; }
    int CheckedOutCount() const { return checkedOutCount_; }
    int UnpluggedCount() const { return unpluggedCount_; }
    bool ChangeInProgress() const { return changeInProgress_; }

    // The list as it stands, checked-out and unplugged entries included.
    int DeviceCount() const { return static_cast<int>(devices_.size()); }
    THidDevice* DeviceAt(int index) const;

    IHidPlatform& Platform() const { return platform_; }
    IEventLoop& Loop() const { return loop_; }

  private:
    friend class THidDevice;

    static constexpr int kFirstChangeParam = -1;
    static constexpr int kPlatformChangeParam = 0;

    void ChangeNotification(int param);
    // Runs a change with changeInProgress_ set, then what came in meanwhile.
    void RunChange(const std::function<void()>& change);
    std::vector<std::unique_ptr<THidDevice>> ScanPresentDevices();
    int IndexOf(const THidDevice* device) const;
    void Recount();
    std::vector<THidDevice*> ListedDevices() const;
    void FireWhileEnumerating(const THidPlugEvent& handler, THidDevice* device);
    // From a device's release: puts a checked-in twin in its place, or drops the entry.
    void Release(THidDevice* device, const THidDataEvent& dataHandler,
                 const THidPlugEvent& unplugHandler, int readerSleepTime);

    IHidPlatform& platform_;
    IEventLoop& loop_;
    THidPlugEvent onArrival_;
    TNotifyEvent onDeviceChange_;
    THidEnumerateEvent onEnumerate_;
    THidDataEvent onDeviceData_;
    THidDataErrorEvent onDeviceDataError_;
    THidPlugEvent onDeviceUnplug_;
    THidPlugEvent onRemoval_;
    int devThreadSleepTime_ = kDefaultDevThreadSleepTime;
    // One listed device. Checked-in devices are owned here; check-out hands the device to its
    // holder, whose release puts a checked-in twin in its place (or drops the entry).
    struct Entry {
        THidDevice* device = nullptr;
        std::unique_ptr<THidDevice> owned;  // empty while checked out
    };
    std::vector<Entry> devices_;
    int checkedInCount_ = 0;
    int checkedOutCount_ = 0;
    int unpluggedCount_ = 0;
    bool changeInProgress_ = false;
    bool changeMissed_ = false;  // a notification came in during a change
    bool repeatMissed_ = false;  // a repetition was asked for during a change
    int lastChangeParam_ = 0;
    // Until the posted first notification has run, handler assignments do not scan.
    bool loading_ = true;
    std::unique_ptr<IHidPlatform::Watch> watch_;
    // Lets a posted notification find out that the controller is gone.
    std::shared_ptr<THidDeviceController*> self_;
};

}  // namespace quillon
