#pragma once

#include <QSettings>
#include <QString>

namespace quillon {

// The last loaded configuration file, kept in the user's settings store (on Windows the
// current-user registry key SOFTWARE\Morvane\QuillonUtility, on Linux the user's configuration
// file of that organisation and application), which every user may write. A value in the
// machine-wide store (the local-machine key, the system-wide file) still serves a user who
// has none of their own.
inline constexpr char kCfgPathOrganisation[] = "Morvane";
inline constexpr char kCfgPathApplication[] = "QuillonUtility";
inline constexpr char kCfgPathValueName[] = "CfgPath";

// The user's value, else the machine's; empty text when neither store has one it can read.
QString ReadStoredCfgPath();

// Writes the user's store; quietly does nothing when it cannot be written.
void WriteStoredCfgPath(const QString& path);

// The stores' format: the system's own unless changed. The registry cannot be moved the way
// QSettings::setPath moves files, so tests on Windows keep the stores in files instead.
void SetCfgPathStoreFormat(QSettings::Format format);

}  // namespace quillon
