#include "station/StationPlan.h"

#include <filesystem>
#include <sstream>

#include "config/SettingsAssignment.h"
#include "device/FirmwareUpdate.h"
#include "device/ProvisionJob.h"
#include "device/ProvisionLog.h"

namespace quillon::station {

AdapterResult<std::vector<SettingChange>> EditedChanges(const SettingsControlValues& values) {
    std::vector<std::string> words;
    std::istringstream text(SettingsText(values));
    for (std::string word; text >> word;) {
        if (values.Pavex && word.rfind("flow=", 0) == 0) {
            continue;
        }
        words.push_back(word);
    }
    std::string error;
    auto changes = ParseAssignments(words, error);
    if (!changes) {
        return AdapterFailure(AdapterError::NotAllowed, "the settings: " + error);
    }
    // Every setting is named, so the outcome does not depend on the adapter's record.
    if (auto planned = PlanSettings(SettingsControlValues{}, *changes); !planned) {
        return AdapterFailure(AdapterError::NotAllowed, "the settings: " + planned.Error().Message);
    }
    return std::move(*changes);
}

AdapterResult<CheckedProvisionPlan> CheckStationPlan(const PlanChoices& choices) {
    ProvisionRequest request;
    request.FirmwareFile = choices.FirmwareFile;
    switch (choices.Settings) {
        case SettingsSource::None:
            break;
        case SettingsSource::ConfigFile:
            if (choices.ConfigFile.empty()) {
                return AdapterFailure(AdapterError::FileRefused, "no configuration file chosen");
            }
            request.ConfigFile = choices.ConfigFile;
            break;
        case SettingsSource::Edited: {
            auto changes = EditedChanges(choices.Edited);
            if (!changes) {
                return changes.Error();
            }
            request.Settings = std::move(*changes);
            break;
        }
    }
    return CheckProvisionPlan(request);
}

AdapterResult<FirmwareFacts> CheckFirmwareFile(const std::string& path) {
    if (auto sound = CheckUpdateFile(path); !sound) {
        return sound.Error();
    }
    FirmwareFacts facts;
    const std::filesystem::path file(path);
    facts.Name = file.filename().string();
    std::error_code error;
    facts.Size = std::filesystem::file_size(file, error);
    facts.Crc32 = FileCrc32(path);
    if (error || facts.Crc32.empty()) {
        return AdapterFailure(AdapterError::FileRefused, "unable to read " + path);
    }
    return facts;
}

void ShiftTally::Begin(Clock::time_point now) {
    begun_ = now;
    passed_ = 0;
    failed_ = 0;
}

void ShiftTally::Count(bool passed) {
    ++(passed ? passed_ : failed_);
}

std::optional<double> ShiftTally::YieldPercent() const {
    const long finished = passed_ + failed_;
    if (finished == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(passed_) / static_cast<double>(finished);
}

std::optional<double> ShiftTally::PerHour(Clock::time_point now) const {
    const long finished = passed_ + failed_;
    const std::chrono::duration<double, std::ratio<3600>> hours = now - begun_;
    if (finished == 0 || hours.count() <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(finished) / hours.count();
}

}  // namespace quillon::station
