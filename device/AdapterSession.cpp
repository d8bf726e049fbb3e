#include "cli/AdapterSession.h"

#include <algorithm>

#include "device/ReportText.h"
#include "hid/Log.h"

namespace quillon::cli {

bool IsAdapter(const HidIdentity& identity) {
    return identity.VendorID == SupportedVendorID && identity.ProductID == SupportedProductID;
}

AdapterSession::AdapterSession(IHidPlatform& platform, bool followChanges)
    : controller_(std::make_unique<THidDeviceController>(
          platform, loop_,
          followChanges ? THidDeviceController::FollowChanges : THidDeviceController::ScanOnce)) {
    controller_->SetOnDeviceChange(MakeHandler<&AdapterSession::DeviceChange>(this));
    controller_->SetOnEnumerate(MakeHandler<&AdapterSession::Enumerate>(this));
}

AdapterSession::~AdapterSession() {
    adapters_.clear();
    controller_.reset();
}

bool AdapterSession::Scan(std::chrono::milliseconds limit) {
    return loop_.RunUntil([this] { return scanned_; }, limit);
}

// The tool looks at the device set once: later changes (an adapter pulled during a command)
// show as failing transfers and, for the monitor, through the adapter's unplug handler.
void AdapterSession::DeviceChange(THidDeviceController* sender) {
    if (scanned_) {
        return;
    }
    sender->EnumerateDevices();
    scanned_ = true;
}

bool AdapterSession::Enumerate(THidDevice* device, int index) {
    HidDeviceSummary summary;
    summary.Path = device->InterfacePath();
    summary.Identity = device->Identity;
    summary.Manufacturer = device->ManufacturerString();
    summary.Product = device->ProductString();
    summary.Caps = device->Capabilities();
    summary.CanReadWrite = device->CanReadWrite();
    summary.OpenError = device->OpenError();
    summary.OpenErrorMessage = device->OpenErrorMessage();
    if (IsAdapter(device->Identity)) {
        THidDevice* checkedOut = nullptr;
        if (controller_->CheckOutAt(checkedOut, index)) {
            summary.AdapterIndex = static_cast<int>(adapters_.size());
            adapters_.emplace_back(checkedOut);
            adapterSummaries_.push_back(devices_.size());
        }
    }
    Log(LogCategory::Device, [&] {
        return "found " + summary.Path +
               (summary.AdapterIndex >= 0
                    ? " (adapter " + std::to_string(summary.AdapterIndex) + ")"
                    : std::string());
    });
    devices_.push_back(std::move(summary));
    return true;
}

const HidDeviceSummary& AdapterSession::AdapterSummary(size_t index) const {
    return devices_[adapterSummaries_[index]];
}

bool AdapterSession::Select(const std::string& selector, size_t& index) const {
    if (selector.empty()) {
        if (adapters_.empty()) {
            return false;
        }
        index = 0;
        return true;
    }
    if (std::all_of(selector.begin(), selector.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        if (selector.size() > 6) {
            return false;
        }
        const size_t wanted = std::stoul(selector);
        if (wanted >= adapters_.size()) {
            return false;
        }
        index = wanted;
        return true;
    }
    for (size_t i = 0; i < adapters_.size(); ++i) {
        if (adapters_[i]->InterfacePath() == selector) {
            index = i;
            return true;
        }
    }
    return false;
}

}  // namespace quillon::cli
