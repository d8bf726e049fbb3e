#include "device/AdapterSession.h"

#include <algorithm>

#include "base/Log.h"
#include "config/SettingsRules.h"
#include "device/ReportText.h"
#include "hid/AccessAdvice.h"

namespace quillon {

AdapterSession::AdapterSession(IHidPlatform& platform, bool followChanges)
    : controller_(std::make_unique<THidDeviceController>(
          platform, loop_,
          followChanges ? THidDeviceController::FollowChanges : THidDeviceController::ScanOnce)) {
    controller_->SetOnDeviceChange(MakeHandler<&AdapterSession::DeviceChange>(this));
    controller_->SetOnEnumerate(MakeHandler<&AdapterSession::Enumerate>(this));
}

AdapterSession::~AdapterSession() {
    services_.clear();
    adapters_.Release();
    controller_.reset();
}

AdapterResult<> AdapterSession::Scan(std::chrono::milliseconds limit) {
    if (!loop_.RunUntil([this] { return scanned_; }, limit)) {
        return AdapterFailure(AdapterError::NoAdapter,
                              "the list of HID devices did not come in time");
    }
    services_.resize(adapters_.Count());
    return {};
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
    summary.OpenError = device->OpenFailure();
    summary.OpenErrorMessage = device->OpenFailure().Message;
    if (IsAdapter(device->Identity) && adapters_.CheckOut(*controller_, index) != nullptr) {
        summary.AdapterIndex = static_cast<int>(adapters_.Count() - 1);
        adapterSummaries_.push_back(devices_.size());
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

std::optional<size_t> AdapterSession::Find(const std::string& selector) const {
    if (selector.empty()) {
        return adapters_.Count() == 0 ? std::nullopt : std::optional<size_t>(0);
    }
    if (std::all_of(selector.begin(), selector.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
        if (selector.size() > 6) {
            return std::nullopt;
        }
        const size_t wanted = std::stoul(selector);
        return wanted < adapters_.Count() ? std::optional<size_t>(wanted) : std::nullopt;
    }
    for (size_t i = 0; i < adapters_.Count(); ++i) {
        if (adapters_.At(i)->InterfacePath() == selector) {
            return i;
        }
    }
    return std::nullopt;
}

AdapterResult<> AdapterSession::CheckWritable(size_t index) const {
    const HidDeviceSummary& summary = AdapterSummary(index);
    if (summary.CanReadWrite) {
        return {};
    }
    if (IsAccessRefusal(summary.OpenError)) {
        return AdapterFailure(AdapterError::NoPermission, MissingAccessAdvice(summary.Path));
    }
    return AdapterFailure(AdapterError::TransferFailed,
                          summary.Path + " cannot be opened for writing: " +
                              (summary.OpenErrorMessage.empty() ? std::string("unknown error")
                                                                : summary.OpenErrorMessage));
}

AdapterService& AdapterSession::Service(size_t index) {
    if (services_[index] == nullptr) {
        services_[index] = std::make_unique<ListedAdapter>(Adapter(index));
    }
    return **services_[index];
}

size_t AdapterSession::FeatureLength(size_t index) const {
    return quillon::FeatureLength(&Adapter(index));
}

AdapterResult<> AdapterSession::WriteSettings(size_t index, const SettingsControlValues& values,
                                              ReportBuffer record) {
    PrepareSettingsWrite(values, record);
    AdapterService& adapter = Service(index);
    if (auto sent = adapter.WriteSettings(record); !sent) {
        return sent;
    }
    return adapter.VerifySettings(record);
}

}  // namespace quillon
