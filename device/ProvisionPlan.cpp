#include "device/ProvisionPlan.h"

#include <filesystem>

#include "device/FirmwareUpdate.h"
#include "device/ProvisionLog.h"
#include "device/SettingsRecord.h"

namespace quillon {

AdapterResult<CheckedProvisionPlan> CheckProvisionPlan(const ProvisionRequest& request) {
    if (!request.ConfigFile.empty() && request.Settings) {
        return AdapterFailure(AdapterError::NotAllowed,
                              "a configuration file and single settings exclude each other");
    }
    CheckedProvisionPlan checked;
    ProvisionPlan& plan = checked.Plan;
    if (request.Settings) {
        for (const SettingChange& change : *request.Settings) {
            if (change.Which == SettingChange::Key::ClearData) {
                checked.SwitchesClearDataOn = change.Number != 0;
            }
        }
        plan.Assignments = request.Settings;
    }
    if (!request.FirmwareFile.empty()) {
        if (auto sound = CheckUpdateFile(request.FirmwareFile); !sound) {
            return sound.Error();
        }
        plan.FirmwareFile = request.FirmwareFile;
        plan.FirmwareChecksum = FileCrc32(request.FirmwareFile);
        std::error_code error;
        const auto size = std::filesystem::file_size(request.FirmwareFile, error);
        plan.FirmwareSize = error ? 0 : static_cast<long long>(size);
    }
    if (!request.ConfigFile.empty()) {
        // Every adapter gets the file as it is now, whatever happens to it during the run.
        const auto file = CheckSettingsFile(request.ConfigFile);
        if (!file) {
            return file.Error();
        }
        ReportBuffer record{};
        checked.SwitchesClearDataOn = LaySettingsFile(*file, record).ClrMem;
        plan.ConfigBytes = *file;
    }
    return checked;
}

}  // namespace quillon
