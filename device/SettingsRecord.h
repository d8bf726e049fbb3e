#pragma once

#include <cstddef>
#include <string>

#include "config/DeviceSettings.h"
#include "config/SettingsRules.h"
#include "device/Adapter.h"
#include "device/LoggingFeatureDevice.h"

namespace quillon {

// Reads the adapter's settings record (feature report 3, length bytes); refused when the
// adapter answers another report.
AdapterResult<ReportBuffer> ReadSettingsRecord(LoggingFeatureDevice& device, size_t length);

// Sends a record prepared for the write (PrepareSettingsWrite), length bytes of it.
AdapterResult<> SendSettingsRecord(LoggingFeatureDevice& device, size_t length,
                                   const ReportBuffer& record);

// A configuration file checked before any adapter is looked at: readable, and its first byte
// the settings report ID.
AdapterResult<ReportBuffer> CheckSettingsFile(const std::string& path);

// Lays the file over the adapter's record (its version byte stays, and a short file changes
// only the bytes it holds) and gives the settings it then shows.
AdapterResult<SettingsControlValues> LoadSettingsFile(const std::string& path,
                                                      ReportBuffer& record);

// Saves what the settings page would collect from the record it shows.
AdapterResult<> SaveSettingsFile(const std::string& path, const ReportBuffer& record);

}  // namespace quillon
