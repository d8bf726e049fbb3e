#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/ConfigFile.h"
#include "config/SettingsRules.h"
#include "device/Adapter.h"

namespace quillon {

// What every adapter of a provisioning run gets; checked in full before the first adapter is
// touched and never changed afterwards.
struct ProvisionPlan {
    std::string FirmwareFile;      // empty: no update
    std::string FirmwareChecksum;  // CRC-32 of the update file as checked, eight hex digits
    long long FirmwareSize = 0;    // its bytes
    // At most one of the two: a checked configuration file, laid over the adapter's own record
    // as a load does, or settings to change as `set` changes them.
    std::optional<ConfigFileBytes> ConfigBytes;
    std::optional<std::vector<SettingChange>> Assignments;

    bool WritesSettings() const { return ConfigBytes.has_value() || Assignments.has_value(); }
};

// A plan before its check: the files as named, the settings already parsed.
struct ProvisionRequest {
    std::string FirmwareFile;
    std::string ConfigFile;
    std::optional<std::vector<SettingChange>> Settings;
};

struct CheckedProvisionPlan {
    ProvisionPlan Plan;
    // The plan switches "Clear data after transmited" on, which is confirmed once, for the
    // whole run, before it starts.
    bool SwitchesClearDataOn = false;
};

// Reads and checks every input of a run before any adapter is touched: the update file in
// full, the configuration file as a load checks it; NotAllowed when both a file and settings
// are given, FileRefused for a file that is not sound.
AdapterResult<CheckedProvisionPlan> CheckProvisionPlan(const ProvisionRequest& request);

}  // namespace quillon
