#include "device/SettingsRecord.h"

#include <string>

#include "config/ConfigFile.h"

namespace quillon {

AdapterResult<ConfigFileBytes> CheckSettingsFile(const std::string& path) {
    auto file = ReadCheckedConfigFile(path);
    if (!file) {
        return AdapterFailure(AdapterError::FileRefused, file.Error().Message);
    }
    return *file;
}

SettingsControlValues LaySettingsFile(const ConfigFileBytes& file, ReportBuffer& record) {
    OverlayConfigBytes(file, record);
    // The file was checked to hold a settings record the page can show.
    return *ShownSettings(record);
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
