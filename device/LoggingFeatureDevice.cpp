#include "device/LoggingFeatureDevice.h"

#include "device/ReportText.h"
#include "hid/Log.h"

namespace quillon {

LoggingFeatureDevice::LoggingFeatureDevice(IFeatureReportDevice& device, IHidPlatform& platform,
                                           std::string name)
    : device_(device), platform_(platform), name_(std::move(name)) {}

bool LoggingFeatureDevice::GetFeatureReport(std::span<uint8_t> report) {
    const bool ok = device_.GetFeatureReport(report);
    LogTransfer("get", report, ok);
    return ok;
}

bool LoggingFeatureDevice::SetFeatureReport(std::span<const uint8_t> report) {
    const bool ok = device_.SetFeatureReport(report);
    LogTransfer("set", report, ok);
    return ok;
}

std::string LoggingFeatureDevice::LastErrorMessage() const {
    const uint32_t code = platform_.LastError();
    return code == 0 ? std::string("unknown error") : platform_.ErrorMessage(code);
}

void LoggingFeatureDevice::LogTransfer(const char* direction, std::span<const uint8_t> report,
                                       bool ok) const {
    Log(LogCategory::Device, [&] {
        std::string text =
            name_ + " " + direction + " " + std::to_string(report.size()) + " bytes: ";
        text += FormatHexBytes(report.data(), report.size());
        text += ok ? "ok" : "failed (" + LastErrorMessage() + ")";
        return text;
    });
}

}  // namespace quillon
