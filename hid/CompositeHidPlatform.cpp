#include "hid/CompositeHidPlatform.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace quillon {
namespace {

// The backend whose operation failed last on this thread, so LastError asks the right one.
thread_local IHidPlatform* tlsFailedBackend = nullptr;

// Forwards to a backend's handle, noting the backend whenever an operation fails.
class CompositeHandle final : public IHidHandle {
  public:
    CompositeHandle(std::unique_ptr<IHidHandle> inner, IHidPlatform* backend)
        : inner_(std::move(inner)), backend_(backend) {}

    std::optional<HidIdentity> GetAttributes() override { return Note(inner_->GetAttributes()); }
    std::optional<std::vector<uint8_t>> GetReportDescriptor() override {
        return Note(inner_->GetReportDescriptor());
    }
    std::optional<HidCaps> GetCaps() override { return Note(inner_->GetCaps()); }
    std::optional<std::u16string> GetManufacturerString() override {
        return Note(inner_->GetManufacturerString());
    }
    std::optional<std::u16string> GetProductString() override {
        return Note(inner_->GetProductString());
    }
    bool GetFeature(std::span<uint8_t> report) override { return Note(inner_->GetFeature(report)); }
    bool SetFeature(std::span<const uint8_t> report) override {
        return Note(inner_->SetFeature(report));
    }
    HidWaitResult WaitInput(int timeoutMs) override {
        const HidWaitResult result = inner_->WaitInput(timeoutMs);
        Note(result != HidWaitResult::Failed);
        return result;
    }
    void WakeWait() override { inner_->WakeWait(); }
    long ReadInput(std::span<uint8_t> buffer) override {
        const long count = inner_->ReadInput(buffer);
        Note(count >= 0);
        return count;
    }
    HidLockResult TryLockExclusive() override {
        const HidLockResult result = inner_->TryLockExclusive();
        Note(result != HidLockResult::Failed);
        return result;
    }
    void Unlock() override { inner_->Unlock(); }

  private:
    bool Note(bool ok) const {
        if (!ok) {
            tlsFailedBackend = backend_;
        }
        return ok;
    }
    template <class T>
    std::optional<T> Note(std::optional<T> value) const {
        Note(value.has_value());
        return value;
    }

    std::unique_ptr<IHidHandle> inner_;
    IHidPlatform* backend_;
};

class CompositeWatch final : public IHidPlatform::Watch {
  public:
    std::vector<std::unique_ptr<IHidPlatform::Watch>> watches;
};

}  // namespace

void CompositeHidPlatform::AddBackend(std::unique_ptr<IHidPlatform> backend,
                                      std::string pathPrefix) {
    backends_.push_back(Backend{std::move(backend), std::move(pathPrefix)});
}

IHidPlatform* CompositeHidPlatform::BackendFor(const std::string& path) const {
    for (const Backend& backend : backends_) {
        if (path.compare(0, backend.prefix.size(), backend.prefix) == 0) {
            return backend.platform.get();
        }
    }
    return nullptr;
}

std::vector<THidPnPInfo> CompositeHidPlatform::PresentInterfaces() {
    std::vector<THidPnPInfo> present;
    for (size_t i = 0; i < backends_.size(); ++i) {
        for (THidPnPInfo info : backends_[i].platform->PresentInterfaces()) {
            // A path another backend claims first could never be opened through this one.
            if (BackendFor(info.InterfacePath) != backends_[i].platform.get()) {
                continue;
            }
            std::lock_guard lock(mutex_);
            const auto [it, added] =
                instances_.try_emplace({i, info.InstanceHandle}, nextInstance_);
            if (added) {
                ++nextInstance_;
            }
            info.InstanceHandle = it->second;
            present.push_back(std::move(info));
        }
    }
    return present;
}

std::unique_ptr<IHidHandle> CompositeHidPlatform::Open(const std::string& path, HidAccess access) {
    IHidPlatform* backend = BackendFor(path);
    if (backend == nullptr) {
        tlsFailedBackend = nullptr;
        return nullptr;
    }
    return Wrap(backend->Open(path, access), backend);
}

std::unique_ptr<IHidHandle> CompositeHidPlatform::OpenDevice(const THidPnPInfo& device,
                                                             HidAccess access) {
    IHidPlatform* backend = BackendFor(device.InterfacePath);
    if (backend == nullptr) {
        tlsFailedBackend = nullptr;
        return nullptr;
    }
    // The backend knows the device by its own instance handle.
    THidPnPInfo inner = device;
    {
        std::lock_guard lock(mutex_);
        const auto it = std::find_if(instances_.begin(), instances_.end(), [&](const auto& entry) {
            return entry.second == device.InstanceHandle &&
                   backends_[entry.first.first].platform.get() == backend;
        });
        if (it == instances_.end()) {
            return Wrap(backend->Open(device.InterfacePath, access), backend);
        }
        inner.InstanceHandle = it->first.second;
    }
    return Wrap(backend->OpenDevice(inner, access), backend);
}

std::unique_ptr<IHidHandle> CompositeHidPlatform::Wrap(std::unique_ptr<IHidHandle> handle,
                                                       IHidPlatform* backend) {
    if (handle == nullptr) {
        tlsFailedBackend = backend;
        return nullptr;
    }
    return std::make_unique<CompositeHandle>(std::move(handle), backend);
}

uint32_t CompositeHidPlatform::LastError() {
    for (const Backend& backend : backends_) {
        if (backend.platform.get() == tlsFailedBackend) {
            return backend.platform->LastError();
        }
    }
    return ENOENT;  // no backend claims the path
}

std::string CompositeHidPlatform::ErrorMessage(uint32_t code) {
    // Every backend reports errno values today; the first one words them.
    if (backends_.empty()) {
        return std::generic_category().message(static_cast<int>(code));
    }
    return backends_.front().platform->ErrorMessage(code);
}

std::unique_ptr<IHidPlatform::Watch> CompositeHidPlatform::WatchDeviceChanges(
    IEventLoop& loop, std::function<void()> onChange) {
    auto watch = std::make_unique<CompositeWatch>();
    for (const Backend& backend : backends_) {
        if (auto inner = backend.platform->WatchDeviceChanges(loop, onChange)) {
            watch->watches.push_back(std::move(inner));
        }
    }
    return watch;
}

}  // namespace quillon
