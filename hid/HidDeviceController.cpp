#include "hid/HidDeviceController.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "base/Log.h"
#include "hid/ControllerError.h"

namespace quillon {

THidDeviceController::THidDeviceController(IHidPlatform& platform, IEventLoop& loop,
                                           Watching watching)
    : platform_(platform), loop_(loop), self_(std::make_shared<THidDeviceController*>(this)) {
    if (watching == FollowChanges) {
        watch_ = platform_.WatchDeviceChanges(loop_,
                                              [this] { ChangeNotification(kPlatformChangeParam); });
    }
    // The first scan runs from the loop, after the owner has finished setting its handlers; it
    // always reports a change, even with no device present.
    loop_.Post([weak = std::weak_ptr<THidDeviceController*>(self_)] {
        if (const auto self = weak.lock()) {
            (*self)->loading_ = false;
            (*self)->ChangeNotification(kFirstChangeParam);
        }
    });
}

THidDeviceController::~THidDeviceController() {
    onDeviceChange_ = {};
    onDeviceUnplug_ = {};
    onEnumerate_ = {};
    watch_.reset();
    self_.reset();
    std::vector<Entry> entries;
    entries.swap(devices_);
    for (Entry& entry : entries) {
        entry.device->controller_ = nullptr;
        if (entry.device->CheckedOut()) {
            entry.device->MarkUnplugged();  // its holder still releases it
        } else {
            entry.owned.reset();
        }
    }
}

THidDevice* THidDeviceController::DeviceAt(int index) const {
    if (index < 0 || index >= DeviceCount()) {
        return nullptr;
    }
    return devices_[static_cast<size_t>(index)].device;
}

int THidDeviceController::IndexOf(const THidDevice* device) const {
    const auto it = std::find_if(devices_.begin(), devices_.end(),
                                 [device](const Entry& entry) { return entry.device == device; });
    return it == devices_.end() ? -1 : static_cast<int>(it - devices_.begin());
}

std::vector<THidDevice*> THidDeviceController::ListedDevices() const {
    std::vector<THidDevice*> devices;
    devices.reserve(devices_.size());
    for (const Entry& entry : devices_) {
        devices.push_back(entry.device);
    }
    return devices;
}

void THidDeviceController::ChangeNotification(int param) {
    // A handler that runs a nested loop (a message box during the owner's rebuild) may let
    // another notification in. It is not handled inside the change in progress; but the device
    // it announces may have come after this scan, so one more scan follows once the change is
    // over, or a device plugged in meanwhile would stay unlisted until some later change.
    if (changeInProgress_) {
        changeMissed_ = true;
        return;
    }
    RunChange([&] {
        lastChangeParam_ = param;
        DeviceChange();
    });
}

void THidDeviceController::RepeatDeviceChange() {
    // Inside a change its own OnDeviceChange may still be to come, or may have run already:
    // the repetition follows once the change is over.
    if (changeInProgress_) {
        repeatMissed_ = true;
        return;
    }
    RunChange([this] {
        if (onDeviceChange_) {
            onDeviceChange_(this);
        }
    });
}

void THidDeviceController::RunChange(const std::function<void()>& change) {
    changeInProgress_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{changeInProgress_};
    change();
    const bool scan = std::exchange(changeMissed_, false);
    const bool repeat = std::exchange(repeatMissed_, false);
    if (scan || repeat) {
        loop_.Post([weak = std::weak_ptr<THidDeviceController*>(self_), scan, repeat] {
            if (const auto self = weak.lock()) {
                if (scan) {
                    (*self)->ChangeNotification(kPlatformChangeParam);
                }
                if (repeat) {
                    (*self)->RepeatDeviceChange();
                }
            }
        });
    }
}

std::vector<std::unique_ptr<THidDevice>> THidDeviceController::ScanPresentDevices() {
    std::vector<std::unique_ptr<THidDevice>> found;
    for (const THidPnPInfo& info : platform_.PresentInterfaces()) {
        try {
            // The constructor is private to the controller, so no make_unique.
            found.emplace_back(new THidDevice(info, this, platform_, loop_));
        } catch (const EControllerError& error) {
            // Left out; the next scan tries it again.
            Log(LogCategory::Hid, [&] { return info.InterfacePath + ": " + error.what(); });
        }
    }
    return found;
}

void THidDeviceController::FireWhileEnumerating(const THidPlugEvent& handler, THidDevice* device) {
    if (!handler) {
        return;
    }
    device->enumerating_ = true;
    handler(device);
    // The handler may have released the device it was given.
    if (IndexOf(device) >= 0) {
        device->enumerating_ = false;
    }
}

void THidDeviceController::DeviceChange() {
    bool changed = lastChangeParam_ == kFirstChangeParam;
    std::vector<std::unique_ptr<THidDevice>> fresh = ScanPresentDevices();

    // Unplug pass, from the end so that removals leave the indices still to visit alone.
    for (int i = DeviceCount() - 1; i >= 0; --i) {
        if (i >= DeviceCount()) {
            continue;  // a handler shortened the list
        }
        THidDevice* device = devices_[static_cast<size_t>(i)].device;
        const bool present = device->Attached() &&
                             std::any_of(fresh.rbegin(), fresh.rend(), [&](const auto& candidate) {
                                 return candidate->InstanceHandle() == device->InstanceHandle();
                             });
        if (present) {
            continue;
        }
        Log(LogCategory::Hid, [&] { return device->InterfacePath() + " is gone"; });
        device->MarkUnplugged();
        FireWhileEnumerating(onRemoval_, device);
        const int index = IndexOf(device);
        if (index >= 0 && !device->CheckedOut()) {
            std::unique_ptr<THidDevice> gone =
                std::move(devices_[static_cast<size_t>(index)].owned);
            devices_.erase(devices_.begin() + index);
            gone->controller_ = nullptr;
        }
        changed = true;
    }

    // Duplicate pass: a device already listed keeps its object.
    for (auto& candidate : fresh) {
        const bool listed = std::any_of(devices_.begin(), devices_.end(), [&](const Entry& entry) {
            return entry.device->InstanceHandle() == candidate->InstanceHandle() &&
                   entry.device->Attached();
        });
        if (listed) {
            candidate->controller_ = nullptr;
            candidate.reset();
        }
    }

    // Arrival pass, in scan order.
    for (auto& candidate : fresh) {
        if (candidate == nullptr) {
            continue;
        }
        THidDevice* device = candidate.get();
        Log(LogCategory::Hid, [&] {
            return device->InterfacePath() + " arrived" +
                   (device->CanReadWrite()
                        ? std::string()
                        : ", no read/write access: " + device->OpenFailure().Message);
        });
        devices_.push_back(Entry{device, std::move(candidate)});
        changed = true;
        FireWhileEnumerating(onArrival_, device);
    }

    Recount();
    if (changed && onDeviceChange_) {
        onDeviceChange_(this);
    }
}

void THidDeviceController::Recount() {
    int checkedOut = 0;
    int unplugged = 0;
    for (const Entry& entry : devices_) {
        checkedOut += entry.device->CheckedOut() ? 1 : 0;
        unplugged += entry.device->Attached() ? 0 : 1;
    }
    checkedInCount_ = DeviceCount() - checkedOut;
    unpluggedCount_ = unplugged;
    checkedOutCount_ = checkedOut - unplugged;
}

int THidDeviceController::EnumerateDevices() {
    int count = 0;
    const size_t length = devices_.size();
    for (size_t i = 0; i < length && i < devices_.size(); ++i) {
        THidDevice* device = devices_[i].device;
        if (!device->Attached()) {
            continue;
        }
        ++count;
        bool goOn = false;
        if (onEnumerate_) {
            device->enumerating_ = true;
            goOn = onEnumerate_(device, static_cast<int>(i));
            if (IndexOf(device) >= 0) {
                device->enumerating_ = false;
                if (!device->CheckedOut()) {
                    device->CloseDeviceHandle();
                    device->CloseReadHandle();
                }
            }
        }
        if (!goOn) {
            break;
        }
    }
    return count;
}

bool THidDeviceController::CheckOutAt(THidDevice*& device, int index) {
    device = nullptr;
    THidDevice* entry = DeviceAt(index);
    if (entry == nullptr || entry->CheckedOut()) {
        return false;
    }
    // From here the holder owns the device; its release gives it back.
    device = devices_[static_cast<size_t>(index)].owned.release();
    entry->checkedOut_ = true;
    ++checkedOutCount_;
    --checkedInCount_;
    entry->StartReader();
    return true;
}

void THidDeviceController::SetOnDeviceChange(const TNotifyEvent& handler) {
    if (handler == onDeviceChange_) {
        return;
    }
    onDeviceChange_ = handler;
    if (!loading_) {
        DeviceChange();
    }
}

void THidDeviceController::SetOnDeviceData(const THidDataEvent& handler) {
    if (handler == onDeviceData_) {
        return;
    }
    for (THidDevice* device : ListedDevices()) {
        // Stopping a reader serves its pending hand-overs, whose handlers may change the list.
        if (IndexOf(device) >= 0 && device->DataHandler() == onDeviceData_) {
            device->SetDataHandler(handler);
        }
    }
    onDeviceData_ = handler;
}

namespace {

// A controller-wide handler passed on to every device that still has the one it replaces; a
// device given a handler of its own keeps it.
template <class Handler, class Entries>
void ReplaceDeviceHandlers(Handler& current, const Handler& handler, const Entries& devices,
                           const Handler& (THidDevice::*get)() const,
                           void (THidDevice::*set)(const Handler&)) {
    if (handler == current) {
        return;
    }
    for (const auto& entry : devices) {
        if ((entry.device->*get)() == current) {
            (entry.device->*set)(handler);
        }
    }
    current = handler;
}

}  // namespace

void THidDeviceController::SetOnDeviceDataError(const THidDataErrorEvent& handler) {
    ReplaceDeviceHandlers(onDeviceDataError_, handler, devices_, &THidDevice::DataErrorHandler,
                          &THidDevice::SetDataErrorHandler);
}

void THidDeviceController::SetOnDeviceUnplug(const THidPlugEvent& handler) {
    ReplaceDeviceHandlers(onDeviceUnplug_, handler, devices_, &THidDevice::UnplugHandler,
                          &THidDevice::SetUnplugHandler);
}

void THidDeviceController::SetDevThreadSleepTime(int ms) {
    if (ms == devThreadSleepTime_) {
        return;
    }
    for (const Entry& entry : devices_) {
        THidDevice* device = entry.device;
        if (device->ReaderSleepTime() == devThreadSleepTime_) {
            device->SetReaderSleepTime(ms);
        }
    }
    devThreadSleepTime_ = ms;
}

void THidDeviceController::Release(THidDevice* device, const THidDataEvent& dataHandler,
                                   const THidPlugEvent& unplugHandler, int readerSleepTime) {
    const int index = IndexOf(device);
    if (index < 0) {
        return;
    }
    const auto position = devices_.begin() + index;
    // The device is being destroyed by its owner: the entry must not destroy it again.
    [[maybe_unused]] THidDevice* owner = position->owned.release();
    if (!device->Attached()) {
        devices_.erase(position);
        --unpluggedCount_;
        return;
    }
    std::unique_ptr<THidDevice> twin;
    try {
        twin.reset(new THidDevice(device->pnpInfo_, this, platform_, loop_));
    } catch (...) {
        // The device can no longer be opened or identified, though no scan has seen it go.
        // Drop the entry as if it had been unplugged and released, so the list and its counts
        // stay true; if the device is still there, the next scan lists it afresh.
        devices_.erase(position);
        if (device->CheckedOut()) {
            --checkedOutCount_;
        } else {
            --checkedInCount_;
        }
        return;
    }
    twin->SetDataHandler(dataHandler);
    twin->SetUnplugHandler(unplugHandler);
    twin->SetReaderSleepTime(readerSleepTime);
    position->device = twin.get();
    position->owned = std::move(twin);
    if (device->CheckedOut()) {
        --checkedOutCount_;
        ++checkedInCount_;
    }
}

}  // namespace quillon
