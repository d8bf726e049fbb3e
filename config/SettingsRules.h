#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "config/DeviceSettings.h"

namespace quillon {

// The rules of the settings record that every front end keeps: what the Pavex mode couples
// and allows, when clearing data must be confirmed, how a record is prepared for a write.

enum class SettingsError {
    NotAllowed,  // the change is not possible in the mode the settings are in
};
template <class T>
using SettingsResult = Result<T, SettingsError>;

// The record as the settings page shows it: decoded, Pavex coupling applied; nothing when
// byte 0 is not the settings report ID.
std::optional<SettingsControlValues> ShownSettings(const ReportBuffer& buffer);

// What the user may change in a mode: in Pavex mode the flow control is fixed (and the baud
// rate held at 19200), outside it the three clear options stay off.
struct EditableSettings {
    bool FlowControl = true;
    bool ClearOptions = false;
};
EditableSettings EditableInMode(bool pavex);

// "Clear data after transmited" passes from off to on: it loses data, so the user confirms it.
bool SwitchesClearDataOn(const SettingsControlValues& before, const SettingsControlValues& after);

// The confirmation asked before "Clear data after transmited" is switched on.
inline constexpr std::string_view kClearDataConfirmation =
    "Durch das Setzen dieser Option können Daten verloren gehen! Sind sie sicher, dass sie diese "
    "Option setzen möchten?";

// What the window and the command-line tool say once the settings record has been written.
inline constexpr std::string_view kSettingsUpdatedText = "Device-Settings updated";

// What a display of the record leaves beside the settings: byte 64 a copy of byte 12.
void KeepRecordMarkerCopy(ReportBuffer& buffer);

// The record as Apply sends it after a display: the marker copy kept, bytes 1 to 12 from the
// values, byte 0 the settings report ID.
void PrepareSettingsWrite(const SettingsControlValues& values, ReportBuffer& buffer);

// Lays the bytes of a configuration file (at most 64) over the buffer from byte 0, keeping
// byte 1: the version is the connected adapter's, whatever the file holds.
void OverlayConfigBytes(std::span<const uint8_t> bytes, ReportBuffer& buffer);

// The first of bytes 0 to 12 (the settings record; the rest belongs to the adapter) in which
// a record read back differs from the one written; nothing when it was kept.
std::optional<std::size_t> FirstRecordDifference(const ReportBuffer& written,
                                                 const ReportBuffer& readBack);

// One setting to change, its value already checked.
struct SettingChange {
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
    std::string Name;  // as the user wrote it, for the refusal
    int Number = 0;    // baud rate, delay in ms, choice index, or 1/0 for an option
};

// The settings a list of changes leaves, worked out as the settings page would: the shown
// record, a Pavex change applied with its coupling, then the other settings. A setting that
// may not change in the resulting mode (the baud rate and flow control in Pavex mode, the
// clear options outside it) is refused, naming it.
struct SettingsPlan {
    SettingsControlValues Values;
    bool NeedsClearDataConfirmation = false;  // as SwitchesClearDataOn
};
SettingsResult<SettingsPlan> PlanSettings(const SettingsControlValues& shown,
                                          const std::vector<SettingChange>& changes);

}  // namespace quillon
