#include "device/ui/ReportExchange.h"

#include "device/ListedAdapter.h"
#include "device/ReportText.h"
#include "device/ui/DeviceList.h"
#include "hid/HidDevice.h"

namespace quillon {

namespace {

// How the service's outcome shows in the window: a failed transfer in the system's own words,
// a write kept out by another program in the window's text.
TransferResult ShownResult(const AdapterResult<>& result, const AdapterService& adapter) {
    if (result) {
        return {TransferOutcome::Done, {}};
    }
    if (result.Error().Error == AdapterError::Busy) {
        return {TransferOutcome::AdapterBusy, std::string(kAdapterBusyText)};
    }
    return {TransferOutcome::Failed, CleanSystemMessage(adapter.LastSystemText())};
}

}  // namespace

TReportExchange::TReportExchange(TDeviceList& devices, ReportBuffer& buffer)
    : Devices(devices), Buffer(buffer) {}

TransferResult TReportExchange::ReadFrom(THidDevice* device, std::span<uint8_t> report) {
    if (device == nullptr) {
        return {TransferOutcome::Failed, "no device"};
    }
    ListedAdapter adapter(*device);
    return ShownResult(adapter->ReadReport(report), *adapter);
}

TransferResult TReportExchange::WriteTo(THidDevice* device, std::span<const uint8_t> report) {
    if (device == nullptr) {
        return {TransferOutcome::Failed, "no device"};
    }
    // The service holds the adapter for this write only, so that another program may still
    // read it while the window is open; one that is writing to it keeps this write out.
    ListedAdapter adapter(*device);
    return ShownResult(adapter->WriteReport(report), *adapter);
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
    return ReadFrom(CurrentDevice, {Buffer.data(), FeatureLength(CurrentDevice)});
}

TransferResult TReportExchange::WriteDeviceReport(uint8_t reportId) {
    if (!AddressSelectedDevice(reportId)) {
        return {};
    }
    return WriteTo(CurrentDevice, {Buffer.data(), FeatureLength(CurrentDevice)});
}

TransferResult TReportExchange::WriteToCurrentDevice(size_t length) {
    if (CurrentDevice == nullptr) {
        return {};
    }
    return WriteTo(CurrentDevice, {Buffer.data(), length});
}

TransferResult TReportExchange::SendReset() {
    if (!Devices.HasSelection()) {
        return {};
    }
    CurrentDevice = Devices.SelectedDevice();
    if (CurrentDevice == nullptr) {
        return {TransferOutcome::Failed, "no device"};
    }
    ListedAdapter adapter(*CurrentDevice);
    return ShownResult(adapter->Reset(), *adapter);
}

TransferResult TReportExchange::ReadSettings() {
    return ReadDeviceReport(SettingsReportId);
}

TransferResult TReportExchange::WriteSettings() {
    return WriteDeviceReport(SettingsReportId);
}

}  // namespace quillon
