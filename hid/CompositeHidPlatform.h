#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "hid/HidPlatform.h"

namespace quillon {

// Several backends seen as one platform: the devices of all of them, in backend order. Each
// backend claims the paths that start with its prefix (an empty prefix claims every path not
// claimed before it). Instance handles are renumbered so that devices of different backends
// never share one; a device keeps its number for the platform's life. Handles and failures are
// the backends' own: each failure is worded by the backend that failed.
class CompositeHidPlatform final : public IHidPlatform {
  public:
    void AddBackend(std::unique_ptr<IHidPlatform> backend, std::string pathPrefix);

    std::vector<THidPnPInfo> PresentInterfaces() override;
    HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path, HidAccess access) override;
    HidResult<std::unique_ptr<IHidHandle>> OpenDevice(const THidPnPInfo& device,
                                                      HidAccess access) override;
    HidFailure GoneFailure(const std::string& path) override;
    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override;

  private:
    struct Backend {
        std::unique_ptr<IHidPlatform> platform;
        std::string prefix;
    };

    IHidPlatform* BackendFor(const std::string& path) const;

    std::vector<Backend> backends_;
    std::mutex mutex_;
    std::map<std::pair<size_t, uint32_t>, uint32_t> instances_;
    uint32_t nextInstance_ = 1;
};

}  // namespace quillon
