#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/DeviceSettings.h"
#include "config/SettingsRules.h"
#include "device/Adapter.h"
#include "device/ProvisionPlan.h"

namespace quillon::station {

// Where the settings that every adapter gets come from.
enum class SettingsSource {
    None,        // the adapters keep their settings
    ConfigFile,  // a configuration file, written as a load writes it
    Edited,      // the settings page's controls in the station's window
};

// What the operator chose at the top of the window, before it is checked.
struct PlanChoices {
    std::string FirmwareFile;  // empty: no update
    SettingsSource Settings = SettingsSource::None;
    std::string ConfigFile;
    SettingsControlValues Edited;
};

// The settings the controls hold as the changes that make an adapter show them, checked as
// `quillon-cli provision --set` checks its words, so that the station writes exactly what the
// command-line tool would be told: flow control is left out in Pavex mode (which fixes it), and
// a value the tool would refuse (a baud rate typed in that is not one of the rates, a delay off
// the 10 ms steps, no line end chosen) is refused here, naming it.
AdapterResult<std::vector<SettingChange>> EditedChanges(const SettingsControlValues& values);

// The whole plan, checked as the command-line tool checks its inputs before any adapter is
// touched: the update file read in full, the configuration file as a load checks it, the edited
// settings as above and against the Pavex rules.
AdapterResult<CheckedProvisionPlan> CheckStationPlan(const PlanChoices& choices);

// What the window shows of an update file once it is chosen and read in full.
struct FirmwareFacts {
    std::string Name;  // the file name without its folder
    std::uintmax_t Size = 0;
    std::string Crc32;  // eight hexadecimal digits, as the log has it
};
AdapterResult<FirmwareFacts> CheckFirmwareFile(const std::string& path);

// The counts of a shift since Start.
class ShiftTally {
  public:
    using Clock = std::chrono::steady_clock;

    void Begin(Clock::time_point now);
    void Count(bool passed);

    long Passed() const { return passed_; }
    long Failed() const { return failed_; }
    // Passed adapters per hundred finished; nothing before the first.
    std::optional<double> YieldPercent() const;
    // Finished adapters per hour since Begin; nothing before the first.
    std::optional<double> PerHour(Clock::time_point now) const;

  private:
    Clock::time_point begun_{};
    long passed_ = 0;
    long failed_ = 0;
};

}  // namespace quillon::station
