#pragma once

#include <QString>

namespace quillon {

// The last loaded configuration file, kept in the machine-wide settings store (on Windows the
// local-machine registry key SOFTWARE\Morvane\QuillonUtility, on Linux the system-wide
// configuration file of that organisation and application).
inline constexpr char CfgPathOrganisation[] = "Morvane";
inline constexpr char CfgPathApplication[] = "QuillonUtility";
inline constexpr char CfgPathValueName[] = "CfgPath";

// Empty text when the store, or the value in it, is missing or unreadable.
QString ReadStoredCfgPath();

// Quietly does nothing when the store cannot be written (no rights on the machine-wide store).
void WriteStoredCfgPath(const QString& path);

}  // namespace quillon
