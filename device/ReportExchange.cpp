#include "device/ReportExchange.h"

#include "device/DeviceList.h"
#include "device/ReportText.h"
#include "hid/HidDevice.h"
#include "hid/HidExclusiveUse.h"

namespace quillon {

namespace {

// Why a feature transfer failed, in the system's words.
TransferResult FailedTransfer(const HidFailure& failure) {
    return {TransferOutcome::Failed, CleanSystemMessage(failure.Message)};
}

TransferResult NoDevice() {
    return {TransferOutcome::Failed, "no device"};
}

}  // namespace

TReportExchange::TReportExchange(TDeviceList& devices, ReportBuffer& buffer)
    : Devices(devices), Buffer(buffer) {}

TransferResult TReportExchange::DeviceGetFeature(THidDevice* device, std::span<uint8_t> report) {
    if (device == nullptr) {
        return NoDevice();
    }
    if (const HidResult<> got = device->GetFeatureReport(report); !got) {
        return FailedTransfer(got.Error());
    }
    return {TransferOutcome::Done, {}};
}

TransferResult TReportExchange::DeviceSetFeature(THidDevice* device,
                                                 std::span<const uint8_t> report) {
    if (device == nullptr) {
        return NoDevice();
    }
    // Held for this write only, so that another program may still read the adapter while the
    // window is open; one that is writing to it keeps this write out.
    const THidExclusiveUse exclusive(device);
    if (exclusive.Busy()) {
        return {TransferOutcome::AdapterBusy, std::string(kAdapterBusyText)};
    }
    if (const HidResult<> sent = device->SetFeatureReport(report); !sent) {
        return FailedTransfer(sent.Error());
    }
    return {TransferOutcome::Done, {}};
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
