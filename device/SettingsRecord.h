#pragma once

#include <cstddef>
#include <string>

#include "config/ConfigFile.h"
#include "config/DeviceSettings.h"
#include "config/SettingsRules.h"
#include "device/Adapter.h"

namespace quillon {

// A configuration file that is to go to adapters, read and checked in full before any adapter
// is looked at (ReadCheckedConfigFile): FileRefused with the reason otherwise.
AdapterResult<ConfigFileBytes> CheckSettingsFile(const std::string& path);

// Lays a checked file over the adapter's record (its version byte stays, bytes 13 to 63 are the
// file's) and gives the settings it then shows, which are what a write puts back.
SettingsControlValues LaySettingsFile(const ConfigFileBytes& file, ReportBuffer& record);

// Saves what the settings page would collect from the record it shows.
AdapterResult<> SaveSettingsFile(const std::string& path, const ReportBuffer& record);

}  // namespace quillon
