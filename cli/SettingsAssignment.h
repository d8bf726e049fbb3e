#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/DeviceSettings.h"

namespace quillon::cli {

// One setting named on the command line, its value already checked.
struct SettingAssignment {
    enum class Key {
        Baud,
        CharDelay,
        LineDelay,
        Flow,
        Enter,
        AltKey,
        Pavex,
        ClearData,
        ClearStx,
        ClearEtx
    };
    Key Which = Key::Baud;
    std::string Name;  // as the user wrote it
    int Number = 0;    // baud rate, delay in ms, choice index, or 1/0 for an option
};

// The names the tool knows, in the order of the settings page.
const std::vector<std::string>& SettingNames();

// Checks "KEY=VALUE" words. On a refusal returns nothing and sets error to a message naming the
// key and its allowed values; nothing has been touched then.
std::optional<std::vector<SettingAssignment>> ParseAssignments(
    const std::vector<std::string>& words, std::string& error);

// The settings a command-line change leaves, worked out as the settings page would: the record
// as shown (Pavex coupling applied), a Pavex change applied with its coupling, then the other
// settings. A setting the page would not let the user change in the resulting mode (the baud
// rate and flow control in Pavex mode, the clear options outside it) is refused.
struct SettingsPlan {
    SettingsControlValues Values;
    // "Clear data after transmited" passes from off to on: the page asks before it does that.
    bool NeedsClearDataConfirmation = false;
};
std::optional<SettingsPlan> PlanSettings(const SettingsControlValues& shown,
                                         const std::vector<SettingAssignment>& assignments,
                                         std::string& error);

// The record as the settings page shows it: decoded, Pavex coupling applied.
std::optional<SettingsControlValues> ShownSettings(const ReportBuffer& buffer);

// Bytes 1 to 12 from the values, byte 0 the settings report ID, byte 64 the copy of byte 12
// that a display of the record leaves, as the page's Apply sends them.
void EncodeForWrite(const SettingsControlValues& values, ReportBuffer& buffer);

// The confirmation the page asks for the "Clear data after transmited" option.
inline constexpr const char* kClearDataConfirmation =
    "Durch das Setzen dieser Option können Daten verloren gehen! Sind sie sicher, dass sie diese "
    "Option setzen möchten?";

}  // namespace quillon::cli
