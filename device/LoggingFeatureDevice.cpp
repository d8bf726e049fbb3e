#include "device/LoggingFeatureDevice.h"

#include "base/Log.h"
#include "device/ReportText.h"

namespace quillon {

LoggingFeatureDevice::LoggingFeatureDevice(IFeatureReportDevice& device, std::string name)
    : device_(device), name_(std::move(name)) {}

HidResult<> LoggingFeatureDevice::GetFeatureReport(std::span<uint8_t> report) {
    HidResult<> result = device_.GetFeatureReport(report);
    LogTransfer("get", report, result);
    return result;
}

HidResult<> LoggingFeatureDevice::SetFeatureReport(std::span<const uint8_t> report) {
    HidResult<> result = device_.SetFeatureReport(report);
    LogTransfer("set", report, result);
    return result;
}

void LoggingFeatureDevice::LogTransfer(const char* direction, std::span<const uint8_t> report,
                                       const HidResult<>& result) const {
    Log(LogCategory::Device, [&] {
        std::string text =
            name_ + " " + direction + " " + std::to_string(report.size()) + " bytes: ";
        text += FormatHexBytes(report.data(), report.size());
        text += result ? "ok" : "failed (" + result.Error().Message + ")";
        return text;
    });
}

}  // namespace quillon
