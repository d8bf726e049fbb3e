#include "hid/emulated/EmulatedBus.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <thread>
#include <utility>

#include "hid/ErrnoFailure.h"

namespace quillon::emu {
namespace {

HidFailure Fail(int code) {
    return ErrnoFailure(code);
}

class EmulatedHandle;

}  // namespace

struct EmulatedBus::Slot final : IDeviceModelHost {
    uint32_t instance = 0;
    std::string path;
    std::string location;
    std::shared_ptr<IDeviceModel> model;

    mutable std::mutex mutex;  // guards everything below but transferMutex
    std::condition_variable input;
    EmulatedBus* bus = nullptr;  // nullptr once unplugged
    PlugOptions options;
    bool present = true;
    bool detachPending = false;  // unplugged from inside one of its own transfers
    DeviceStats stats;
    std::vector<EmulatedHandle*> handles;
    const EmulatedHandle* exclusiveHolder = nullptr;  // the handle with exclusive use

    // One transfer at a time per device; the model is never detached during one.
    std::mutex transferMutex;

    void SendInputReport(std::span<const uint8_t> report) override;
    void RequestUnplug() override;
};

struct EmulatedBus::Watcher {
    IEventLoop* loop = nullptr;
    std::function<void()> onChange;
    std::atomic<bool> alive{true};
};

namespace {

// The device whose model is inside a transfer on this thread, if any: an unplug the model asks
// for then is carried out when the transfer returns.
thread_local EmulatedBus::Slot* tlsTransferSlot = nullptr;

class EmulatedHandle final : public IHidHandle {
  public:
    EmulatedHandle(std::shared_ptr<EmulatedBus::Slot> slot, HidAccess access,
                   std::shared_ptr<std::atomic<int>> closedWhileInUse)
        : slot_(std::move(slot)), access_(access), closedWhileInUse_(std::move(closedWhileInUse)) {}

    ~EmulatedHandle() override {
        std::lock_guard lock(slot_->mutex);
        if (busy_ > 0) {
            closedWhileInUse_->fetch_add(1);
        }
        if (slot_->exclusiveHolder == this) {
            slot_->exclusiveHolder = nullptr;
        }
        auto& handles = slot_->handles;
        handles.erase(std::remove(handles.begin(), handles.end(), this), handles.end());
        --slot_->stats.OpenHandles;
    }

    HidResult<HidIdentity> GetAttributes() override {
        Busy busy(*this);
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->present) {
                return Fail(ENODEV);
            }
            if (slot_->options.AttributesFail) {
                return Fail(EIO);
            }
        }
        return slot_->model->Identity();
    }

    HidResult<std::vector<uint8_t>> GetReportDescriptor() override {
        Busy busy(*this);
        if (!Present()) {
            return Fail(ENODEV);
        }
        return slot_->model->ReportDescriptor();
    }

    HidResult<std::u16string> GetManufacturerString() override { return GetString(true); }
    HidResult<std::u16string> GetProductString() override { return GetString(false); }

    HidResult<> GetFeature(std::span<uint8_t> report) override {
        return Transfer(report, [&](IDeviceModel& model, int& error) {
            return model.GetFeature(report, error);
        });
    }

    HidResult<> SetFeature(std::span<const uint8_t> report) override {
        return Transfer(report, [&](IDeviceModel& model, int& error) {
            return model.SetFeature(report, error);
        });
    }

    HidResult<HidWaitResult> WaitInput(int timeoutMs) override {
        std::unique_lock lock(slot_->mutex);
        ++busy_;
        ++slot_->stats.InputWaits;
        ++slot_->stats.WaitersNow;
        const auto wakes = [this] { return !slot_->present || woken_ || !queue_.empty(); };
        if (timeoutMs < 0) {
            slot_->input.wait(lock, wakes);
        } else {
            slot_->input.wait_for(lock, std::chrono::milliseconds(timeoutMs), wakes);
        }
        --slot_->stats.WaitersNow;
        --busy_;
        if (woken_) {
            woken_ = false;
            return HidWaitResult::Woken;
        }
        if (!slot_->present) {
            return Fail(ENODEV);
        }
        if (access_ == HidAccess::QueryOnly) {
            return Fail(EACCES);
        }
        return queue_.empty() ? HidWaitResult::Timeout : HidWaitResult::Ready;
    }

    void WakeWait() override {
        {
            std::lock_guard lock(slot_->mutex);
            woken_ = true;
        }
        slot_->input.notify_all();
    }

    HidResult<size_t> ReadInput(std::span<uint8_t> buffer) override {
        std::lock_guard lock(slot_->mutex);
        if (!slot_->present) {
            return Fail(EIO);
        }
        if (access_ == HidAccess::QueryOnly) {
            return Fail(EACCES);
        }
        if (queue_.empty()) {
            return Fail(EAGAIN);
        }
        const std::vector<uint8_t> report = std::move(queue_.front());
        queue_.pop_front();
        const size_t count = std::min(buffer.size(), report.size());
        std::copy_n(report.begin(), count, buffer.begin());
        return count;
    }

    // The bus lives in one process, so exclusive use is among the handles of its devices.
    HidResult<> TryLockExclusive() override {
        std::lock_guard lock(slot_->mutex);
        if (!slot_->present) {
            return Fail(ENODEV);
        }
        if (access_ == HidAccess::QueryOnly) {
            return Fail(EACCES);
        }
        if (slot_->exclusiveHolder != nullptr && slot_->exclusiveHolder != this) {
            return Fail(EWOULDBLOCK);
        }
        slot_->exclusiveHolder = this;
        return {};
    }

    void Unlock() override {
        std::lock_guard lock(slot_->mutex);
        if (slot_->exclusiveHolder == this) {
            slot_->exclusiveHolder = nullptr;
        }
    }

    // Slot mutex held.
    void QueueInput(std::span<const uint8_t> report) {
        if (access_ == HidAccess::QueryOnly) {
            return;
        }
        queue_.emplace_back(report.begin(), report.end());
        while (queue_.size() > std::max<size_t>(slot_->options.InputQueueLimit, 1)) {
            queue_.pop_front();
            ++slot_->stats.DroppedReports;
        }
    }

  private:
    // Counts the calls in progress, so that closing a handle in use is caught.
    struct Busy {
        explicit Busy(EmulatedHandle& handle) : handle(handle) {
            std::lock_guard lock(handle.slot_->mutex);
            ++handle.busy_;
        }
        ~Busy() {
            std::lock_guard lock(handle.slot_->mutex);
            --handle.busy_;
        }
        EmulatedHandle& handle;
    };

    bool Present() const {
        std::lock_guard lock(slot_->mutex);
        return slot_->present;
    }

    HidResult<std::u16string> GetString(bool manufacturer) {
        Busy busy(*this);
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->present) {
                return Fail(ENODEV);
            }
            ++slot_->stats.StringRequests;
        }
        std::u16string text = manufacturer ? slot_->model->Manufacturer() : slot_->model->Product();
        if (text.empty()) {
            return Fail(ENODATA);  // the device has no such string
        }
        return text;
    }

    template <typename Byte, typename Call>
    HidResult<> Transfer(std::span<Byte> report, Call call) {
        Busy busy(*this);
        PlugOptions options;
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->present) {
                return Fail(ENODEV);
            }
            if (access_ != HidAccess::ReadWrite) {
                return Fail(EACCES);
            }
            options = slot_->options;
        }
        if (report.empty()) {
            return Fail(EINVAL);
        }
        std::lock_guard transfer(slot_->transferMutex);
        int number = 0;
        {
            std::lock_guard lock(slot_->mutex);
            if (!slot_->present) {
                return Fail(ENODEV);
            }
            number = slot_->stats.FeatureTransfers++;
        }
        if (options.TransferDelayMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(options.TransferDelayMs));
        }
        if (number == options.FailTransfer) {
            return Fail(EIO);
        }
        int error = 0;
        tlsTransferSlot = slot_.get();
        const bool ok = call(*slot_->model, error);
        tlsTransferSlot = nullptr;
        bool detach = false;
        {
            std::lock_guard lock(slot_->mutex);
            detach = std::exchange(slot_->detachPending, false);
        }
        if (detach) {
            slot_->model->Attach(nullptr);
        }
        if (!ok) {
            return Fail(error != 0 ? error : EIO);
        }
        return {};
    }

    std::shared_ptr<EmulatedBus::Slot> slot_;
    const HidAccess access_;
    std::shared_ptr<std::atomic<int>> closedWhileInUse_;
    // Guarded by the slot's mutex.
    std::deque<std::vector<uint8_t>> queue_;
    bool woken_ = false;
    int busy_ = 0;
};

class BusWatch final : public IHidPlatform::Watch {
  public:
    explicit BusWatch(std::function<void()> onEnd) : onEnd_(std::move(onEnd)) {}
    ~BusWatch() override { onEnd_(); }

  private:
    std::function<void()> onEnd_;
};

}  // namespace

void EmulatedBus::Slot::SendInputReport(std::span<const uint8_t> report) {
    {
        std::lock_guard lock(mutex);
        if (!present) {
            return;
        }
        for (EmulatedHandle* handle : handles) {
            handle->QueueInput(report);
        }
    }
    input.notify_all();
}

void EmulatedBus::Slot::RequestUnplug() {
    EmulatedBus* owner = nullptr;
    {
        std::lock_guard lock(mutex);
        owner = bus;
    }
    if (owner != nullptr) {
        owner->Unplug(instance);
    }
}

EmulatedBus::EmulatedBus(uint32_t firstInstance)
    : nextInstance_(firstInstance == 0 ? 1 : firstInstance),
      closedWhileInUse_(std::make_shared<std::atomic<int>>(0)) {}

EmulatedBus::~EmulatedBus() {
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard lock(mutex_);
        slots = slots_;
    }
    for (const auto& slot : slots) {
        Detach(slot);
    }
}

std::string EmulatedBus::PathOf(uint32_t instance) {
    return "emu:" + std::to_string(instance);
}

uint32_t EmulatedBus::Plug(std::shared_ptr<IDeviceModel> model, const PlugOptions& options) {
    auto slot = std::make_shared<Slot>();
    slot->model = std::move(model);
    slot->options = options;
    slot->bus = this;
    {
        std::lock_guard lock(mutex_);
        slot->instance = nextInstance_++;
        slot->location = !options.Location.empty()
                             ? options.Location
                             : "emulated-" + std::to_string(slots_.size() + 1);
    }
    slot->path = PathOf(slot->instance);
    slot->model->Attach(slot.get());
    {
        std::lock_guard lock(mutex_);
        slots_.push_back(slot);
    }
    NotifyWatchers();
    return slot->instance;
}

bool EmulatedBus::Detach(const std::shared_ptr<Slot>& slot) {
    bool inOwnTransfer = false;
    {
        std::lock_guard lock(slot->mutex);
        if (!slot->present) {
            return false;
        }
        slot->present = false;
        slot->bus = nullptr;
        inOwnTransfer = tlsTransferSlot == slot.get();
        slot->detachPending = inOwnTransfer;
    }
    slot->input.notify_all();
    if (!inOwnTransfer) {
        std::lock_guard transfer(slot->transferMutex);
        slot->model->Attach(nullptr);
    }
    return true;
}

bool EmulatedBus::Unplug(uint32_t instance) {
    const std::shared_ptr<Slot> slot = Find(instance);
    if (slot == nullptr || !Detach(slot)) {
        return false;
    }
    NotifyWatchers();
    return true;
}

void EmulatedBus::UnplugAll() {
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard lock(mutex_);
        slots = slots_;
    }
    bool any = false;
    for (const auto& slot : slots) {
        any = Detach(slot) || any;
    }
    if (any) {
        NotifyWatchers();
    }
}

bool EmulatedBus::SetOptions(uint32_t instance, const PlugOptions& options) {
    const std::shared_ptr<Slot> slot = Find(instance);
    if (slot == nullptr) {
        return false;
    }
    std::lock_guard lock(slot->mutex);
    slot->options = options;
    return slot->present;
}

bool EmulatedBus::SendInputReport(uint32_t instance, const std::vector<uint8_t>& report) {
    const std::shared_ptr<Slot> slot = Find(instance);
    if (slot == nullptr || !IsPlugged(instance)) {
        return false;
    }
    slot->SendInputReport(report);
    return true;
}

void EmulatedBus::AnnounceChange() {
    NotifyWatchers();
}

bool EmulatedBus::IsPlugged(uint32_t instance) const {
    const std::shared_ptr<Slot> slot = Find(instance);
    if (slot == nullptr) {
        return false;
    }
    std::lock_guard lock(slot->mutex);
    return slot->present;
}

DeviceStats EmulatedBus::Stats(uint32_t instance) const {
    const std::shared_ptr<Slot> slot = Find(instance);
    if (slot == nullptr) {
        return {};
    }
    std::lock_guard lock(slot->mutex);
    return slot->stats;
}

std::shared_ptr<EmulatedBus::Slot> EmulatedBus::Find(uint32_t instance) const {
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot->instance == instance) {
            return slot;
        }
    }
    return nullptr;
}

std::shared_ptr<EmulatedBus::Slot> EmulatedBus::FindPath(const std::string& path) const {
    std::lock_guard lock(mutex_);
    for (const auto& slot : slots_) {
        if (slot->path == path) {
            return slot;
        }
    }
    return nullptr;
}

std::vector<THidPnPInfo> EmulatedBus::PresentInterfaces() {
    std::vector<std::shared_ptr<Slot>> slots;
    {
        std::lock_guard lock(mutex_);
        slots = slots_;
    }
    std::vector<THidPnPInfo> present;
    for (const auto& slot : slots) {
        std::lock_guard lock(slot->mutex);
        if (slot->present) {
            present.push_back(THidPnPInfo{slot->path, slot->instance, slot->location});
        }
    }
    return present;
}

HidResult<std::unique_ptr<IHidHandle>> EmulatedBus::Open(const std::string& path,
                                                         HidAccess access) {
    const std::shared_ptr<Slot> slot = FindPath(path);
    if (slot == nullptr) {
        return Fail(ENOENT);
    }
    std::lock_guard lock(slot->mutex);
    if (!slot->present) {
        return Fail(ENOENT);
    }
    if (slot->options.OpenError != 0) {
        return Fail(slot->options.OpenError);
    }
    if (access != HidAccess::QueryOnly && !slot->options.ReadWriteAllowed) {
        return Fail(EACCES);
    }
    auto handle = std::make_unique<EmulatedHandle>(slot, access, closedWhileInUse_);
    slot->handles.push_back(handle.get());
    ++slot->stats.OpenHandles;
    switch (access) {
        case HidAccess::ReadWrite:
            ++slot->stats.ReadWriteOpens;
            break;
        case HidAccess::QueryOnly:
            ++slot->stats.QueryOnlyOpens;
            break;
        case HidAccess::Read:
            ++slot->stats.ReadOpens;
            break;
    }
    return std::unique_ptr<IHidHandle>(std::move(handle));
}

HidFailure EmulatedBus::GoneFailure(const std::string&) {
    return Fail(ENODEV);
}

std::unique_ptr<IHidPlatform::Watch> EmulatedBus::WatchDeviceChanges(
    IEventLoop& loop, std::function<void()> onChange) {
    auto watcher = std::make_shared<Watcher>();
    watcher->loop = &loop;
    watcher->onChange = std::move(onChange);
    {
        std::lock_guard lock(mutex_);
        watchers_.push_back(watcher);
    }
    return std::make_unique<BusWatch>([this, watcher] { RemoveWatcher(watcher); });
}

void EmulatedBus::RemoveWatcher(const std::shared_ptr<Watcher>& watcher) {
    watcher->alive.store(false);
    std::lock_guard lock(mutex_);
    watchers_.erase(std::remove(watchers_.begin(), watchers_.end(), watcher), watchers_.end());
}

void EmulatedBus::NotifyWatchers() {
    std::vector<std::shared_ptr<Watcher>> watchers;
    {
        std::lock_guard lock(mutex_);
        watchers = watchers_;
    }
    for (const auto& watcher : watchers) {
        watcher->loop->Post([watcher] {
            if (watcher->alive.load()) {
                watcher->onChange();
            }
        });
    }
}

}  // namespace quillon::emu
