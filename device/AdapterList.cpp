#include "device/AdapterList.h"

#include "device/Adapter.h"
#include "hid/HidDevice.h"
#include "hid/HidDeviceController.h"

namespace quillon {

AdapterList::AdapterList(RefusedAdapters refused) : refused_(refused) {}

AdapterList::~AdapterList() {
    Release();
}

THidDevice* AdapterList::CheckOut(THidDeviceController& controller, int index) {
    THidDevice* device = nullptr;
    if (controller.CheckOutAt(device, index) || refused_ == RefusedAdapters::KeepEmptyEntry) {
        devices_.emplace_back(device);
    }
    return device;
}

THidDevice* AdapterList::At(size_t index) const {
    return index < devices_.size() ? devices_[index].get() : nullptr;
}

void AdapterList::Release() {
    std::vector<std::unique_ptr<THidDevice>> released;
    released.swap(devices_);
    for (auto& device : released) {
        device.reset();
    }
}

size_t FeatureLength(THidDevice* device) {
    return device == nullptr ? 0
                             : LimitFeatureLength(device->Capabilities().FeatureReportByteLength);
}

}  // namespace quillon
