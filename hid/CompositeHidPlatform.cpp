#include "hid/CompositeHidPlatform.h"

#include <algorithm>

namespace quillon {
namespace {

// A path that no backend claims leads to no device; there is no native code to tell.
HidFailure NoBackendFailure(const std::string& path) {
    return HidFailure{HidError{HidErrorKind::Gone, 0}, "no device at " + path};
}

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

HidResult<std::unique_ptr<IHidHandle>> CompositeHidPlatform::Open(const std::string& path,
                                                                  HidAccess access) {
    IHidPlatform* backend = BackendFor(path);
    if (backend == nullptr) {
        return NoBackendFailure(path);
    }
    return backend->Open(path, access);
}

HidResult<std::unique_ptr<IHidHandle>> CompositeHidPlatform::OpenDevice(const THidPnPInfo& device,
                                                                        HidAccess access) {
    IHidPlatform* backend = BackendFor(device.InterfacePath);
    if (backend == nullptr) {
        return NoBackendFailure(device.InterfacePath);
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
            return backend->Open(device.InterfacePath, access);
        }
        inner.InstanceHandle = it->first.second;
    }
    return backend->OpenDevice(inner, access);
}

HidFailure CompositeHidPlatform::GoneFailure(const std::string& path) {
    IHidPlatform* backend = BackendFor(path);
    return backend != nullptr ? backend->GoneFailure(path) : NoBackendFailure(path);
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
