#include "device/LoggingFeatureDevice.h"

#include "device/ReportText.h"
#include "hid/Log.h"

namespace quillon {

LoggingFeatureDevice::LoggingFeatureDevice(IFeatureReportDevice& device, IHidPlatform& platform,
                                           std::string name)
    : device_(device), platform_(platform), name_(std::move(name)) {}

bool LoggingFeatureDevice::GetFeatureReport(uint8_t* buffer, size_t length) {
    const bool ok = device_.GetFeatureReport(buffer, length);
    LogTransfer("get", buffer, length, ok);
    return ok;
}

bool LoggingFeatureDevice::SetFeatureReport(const uint8_t* buffer, size_t length) {
    const bool ok = device_.SetFeatureReport(buffer, length);
    LogTransfer("set", buffer, length, ok);
    return ok;
}

std::string LoggingFeatureDevice::LastErrorMessage() const {
    const uint32_t code = platform_.LastError();
    return code == 0 ? std::string("unknown error") : platform_.ErrorMessage(code);
}

void LoggingFeatureDevice::LogTransfer(const char* direction, const uint8_t* buffer, size_t length,
                                       bool ok) const {
    Log(LogCategory::Device, [&] {
        std::string text = name_ + " " + direction + " " + std::to_string(length) + " bytes: ";
        text += FormatHexBytes(buffer, length);
        text += ok ? "ok" : "failed (" + LastErrorMessage() + ")";
        return text;
    });
}

}  // namespace quillon
