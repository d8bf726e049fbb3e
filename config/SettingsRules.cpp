#include "config/SettingsRules.h"

#include <algorithm>

#include "config/ConfigFile.h"

namespace quillon {

std::optional<SettingsControlValues> ShownSettings(const ReportBuffer& buffer) {
    auto values = DecodeSettings(buffer);
    if (values) {
        ApplyPavexCoupling(*values);
    }
    return values;
}

EditableSettings EditableInMode(bool pavex) {
    return {!pavex, pavex};
}

bool SwitchesClearDataOn(const SettingsControlValues& before, const SettingsControlValues& after) {
    return after.ClrMem && !before.ClrMem;
}

void KeepRecordMarkerCopy(ReportBuffer& buffer) {
    buffer[DeviceSettings::RecordMarkerCopy] = buffer[DeviceSettings::RecordMarker];
}

void PrepareSettingsWrite(const SettingsControlValues& values, ReportBuffer& buffer) {
    KeepRecordMarkerCopy(buffer);
    EncodeSettings(values, buffer);
    buffer[DeviceSettings::ReportId] = SettingsReportId;
}

void OverlayConfigBytes(std::span<const uint8_t> bytes, ReportBuffer& buffer) {
    const uint8_t adapterVersion = buffer[DeviceSettings::Version];
    std::copy_n(bytes.begin(), std::min(bytes.size(), kConfigFileSize), buffer.begin());
    buffer[DeviceSettings::Version] = adapterVersion;
}

std::optional<std::size_t> FirstRecordDifference(const ReportBuffer& written,
                                                 const ReportBuffer& readBack) {
    const auto end = written.begin() + DeviceSettings::RecordMarker + 1;
    const auto differs = std::mismatch(written.begin(), end, readBack.begin());
    if (differs.first == end) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(differs.first - written.begin());
}

SettingsResult<SettingsPlan> PlanSettings(const SettingsControlValues& shown,
                                          const std::vector<SettingChange>& changes) {
    using Key = SettingChange::Key;
    const auto refuse = [](std::string message) {
        return Failure<SettingsError>{SettingsError::NotAllowed, std::move(message)};
    };
    SettingsPlan plan;
    SettingsControlValues& values = plan.Values;
    values = shown;
    // Pavex mode first: switching it changes what the other settings may be.
    for (const SettingChange& change : changes) {
        if (change.Which == Key::Pavex) {
            values.Pavex = change.Number != 0;
        }
    }
    ApplyPavexCoupling(values);
    const EditableSettings editable = EditableInMode(values.Pavex);

    for (const SettingChange& change : changes) {
        const bool on = change.Number != 0;
        switch (change.Which) {
            case Key::Baud:
                if (values.Pavex && change.Number != kDefaultBaudRate) {
                    return refuse("baud is fixed at " + std::to_string(kDefaultBaudRate) +
                                  " in Pavex mode (allowed: " + std::to_string(kDefaultBaudRate) +
                                  ")");
                }
                values.BaudText = std::to_string(change.Number);
                break;
            case Key::CharDelay:
                values.CharDelayMs = change.Number;
                break;
            case Key::LineDelay:
                values.LineDelayMs = change.Number;
                break;
            case Key::Flow:
                if (!editable.FlowControl) {
                    return refuse("flow cannot be changed in Pavex mode (set pavex=off first)");
                }
                values.FlowCtrlIndex = change.Number;
                break;
            case Key::Enter:
                values.EnterCtrlIndex = change.Number;
                break;
            case Key::AltKey:
                values.UseAltKey = on;
                break;
            case Key::Pavex:
                break;
            case Key::ClearData:
            case Key::ClearStx:
            case Key::ClearEtx:
                if (on && !editable.ClearOptions) {
                    return refuse(change.Name +
                                  " can be switched on in Pavex mode only (with pavex=on)");
                }
                (change.Which == Key::ClearData  ? values.ClrMem
                 : change.Which == Key::ClearStx ? values.ClrStx
                                                 : values.ClrEtx) = on;
                break;
        }
    }
    plan.NeedsClearDataConfirmation = SwitchesClearDataOn(shown, values);
    return plan;
}

}  // namespace quillon
