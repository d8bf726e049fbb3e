#include "device/ReportExchange.h"

#include "device/DeviceList.h"
#include "device/ReportText.h"
#include "hid/HidDevice.h"
#include "hid/HidExclusiveUse.h"

namespace quillon {

namespace {

// Why the feature transfer that just failed on this thread failed, in the system's words.
TransferResult FailedTransfer(THidDevice* device) {
    if (device == nullptr) {
        return {TransferOutcome::Failed, "no device"};
    }
    IHidPlatform& platform = device->Platform();
    return {TransferOutcome::Failed,
            CleanSystemMessage(platform.ErrorMessage(platform.LastError()))};
}

}  // namespace

TReportExchange::TReportExchange(TDeviceList& devices, ReportBuffer& buffer)
    : Devices(devices), Buffer(buffer) {}

TransferResult TReportExchange::DeviceGetFeature(THidDevice* device, std::span<uint8_t> report) {
    if (device != nullptr && device->GetFeatureReport(report)) {
        return {TransferOutcome::Done, {}};
    }
    return FailedTransfer(device);
}

TransferResult TReportExchange::DeviceSetFeature(THidDevice* device,
                                                 std::span<const uint8_t> report) {
    if (device == nullptr) {
        return FailedTransfer(device);
    }
    // Held for this write only, so that another program may still read the adapter while the
    // window is open; one that is writing to it keeps this write out.
    const THidExclusiveUse exclusive(device);
    if (exclusive.Busy()) {
        return {TransferOutcome::AdapterBusy, std::string(kAdapterBusyText)};
    }
    if (device->SetFeatureReport(report)) {
        return {TransferOutcome::Done, {}};
    }
    return FailedTransfer(device);
}

bool TReportExchange::AddressSelectedDevice(uint8_t reportId) {
    CurrentDevice = nullptr;
    if (!Devices.HasSelection()) {
        return false;
    }
    CurrentDevice = Devices.SelectedDevice();
    Buffer[0] = reportId;
    return true;
}

TransferResult TReportExchange::ReadDeviceReport(uint8_t reportId) {
    if (!AddressSelectedDevice(reportId)) {
        return {};
    }
    return DeviceGetFeature(CurrentDevice, {Buffer.data(), FeatureLength(CurrentDevice)});
}

TransferResult TReportExchange::WriteDeviceReport(uint8_t reportId) {
    if (!AddressSelectedDevice(reportId)) {
        return {};
    }
    return DeviceSetFeature(CurrentDevice, {Buffer.data(), FeatureLength(CurrentDevice)});
}

TransferResult TReportExchange::WriteToCurrentDevice(size_t length) {
    if (CurrentDevice == nullptr) {
        return {};
    }
    return DeviceSetFeature(CurrentDevice, {Buffer.data(), length});
}

TransferResult TReportExchange::SendReset() {
    if (!Devices.HasSelection()) {
        return {};
    }
    CurrentDevice = Devices.SelectedDevice();
    return DeviceSetFeature(CurrentDevice, ResetReport);
}

TransferResult TReportExchange::ReadSettings() {
    return ReadDeviceReport(SettingsReportId);
}

TransferResult TReportExchange::WriteSettings() {
    return WriteDeviceReport(SettingsReportId);
}

}  // namespace quillon
