#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/SettingsRules.h"

namespace quillon {

// One setting named on the command line, its value already checked.
using SettingAssignment = SettingChange;

// The names the tool knows, in the order of the settings page.
const std::vector<std::string>& SettingNames();

// The values a key takes as the user writes them, for a shell to offer (of the delays, the
// round ones); empty for a name that is no setting.
std::vector<std::string> SettingValueWords(const std::string& key);

// The settings as "key=value" words in the order of the settings page, as `set` takes them.
std::string SettingsText(const SettingsControlValues& values);

// Checks "KEY=VALUE" words. On a refusal returns nothing and sets error to a message naming the
// key and its allowed values; nothing has been touched then.
std::optional<std::vector<SettingAssignment>> ParseAssignments(
    const std::vector<std::string>& words, std::string& error);

}  // namespace quillon
