#pragma once

#include "device/AdapterList.h"
#include "device/AdapterLock.h"
#include "device/AdapterService.h"
#include "hid/HidDevice.h"

namespace quillon {

// The adapter service over a device object that a front end holds from its list, with the
// device's own exclusive use as the service's lock. Lives no longer than the device.
class ListedAdapter {
  public:
    explicit ListedAdapter(THidDevice& device)
        : lock_(device), service_(device, device.InterfacePath(), FeatureLength(&device), &lock_) {}

    AdapterService& operator*() { return service_; }
    AdapterService* operator->() { return &service_; }

  private:
    DeviceAdapterLock lock_;
    AdapterService service_;
};

}  // namespace quillon
