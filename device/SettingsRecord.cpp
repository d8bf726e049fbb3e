#include "device/SettingsRecord.h"

#include <string>

#include "config/ConfigFile.h"

namespace quillon {

AdapterResult<ReportBuffer> ReadSettingsRecord(LoggingFeatureDevice& device, size_t length) {
    ReportBuffer buffer{};
    buffer[0] = SettingsReportId;
    if (const HidResult<> got = device.GetFeatureReport({buffer.data(), length}); !got) {
        return AdapterFailure(AdapterError::TransferFailed,
                              "unable to read the settings: " + got.Error().Message);
    }
    if (buffer[0] != SettingsReportId) {
        return AdapterFailure(AdapterError::TransferFailed, "the adapter answered report " +
                                                                std::to_string(buffer[0]) +
                                                                " instead of its settings record");
    }
    return buffer;
}

AdapterResult<> SendSettingsRecord(LoggingFeatureDevice& device, size_t length,
                                   const ReportBuffer& record) {
    if (const HidResult<> sent = device.SetFeatureReport({record.data(), length}); !sent) {
        return AdapterFailure(AdapterError::TransferFailed,
                              "unable to write the settings: " + sent.Error().Message);
    }
    return {};
}

AdapterResult<ReportBuffer> CheckSettingsFile(const std::string& path) {
    ReportBuffer probe{};
    if (const auto result = LoadConfigFile(path, probe); result != ConfigFileResult::Ok) {
        return AdapterFailure(AdapterError::FileRefused, ConfigFileMessage(result, path));
    }
    if (probe[DeviceSettings::ReportId] != SettingsReportId) {
        return AdapterFailure(AdapterError::FileRefused, "not a settings file (its first byte is " +
                                                             std::to_string(probe[0]) +
                                                             ", not 3): " + path);
    }
    return probe;
}

AdapterResult<SettingsControlValues> LoadSettingsFile(const std::string& path,
                                                      ReportBuffer& record) {
    if (const auto result = LoadConfigFile(path, record); result != ConfigFileResult::Ok) {
        return AdapterFailure(AdapterError::FileRefused, ConfigFileMessage(result, path));
    }
    // The file may have changed since it was checked.
    const auto shown = ShownSettings(record);
    if (!shown) {
        return AdapterFailure(AdapterError::FileRefused, "not a settings file: " + path);
    }
    return *shown;
}

AdapterResult<> SaveSettingsFile(const std::string& path, const ReportBuffer& record) {
    ReportBuffer contents = record;
    if (const auto shown = ShownSettings(contents)) {
        EncodeSettings(*shown, contents);
    }
    if (const auto result = SaveConfigFile(path, contents); result != ConfigFileResult::Ok) {
        return AdapterFailure(AdapterError::FileRefused, ConfigFileMessage(result, path));
    }
    return {};
}

}  // namespace quillon
