#include "config/SettingsAssignment.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace quillon {
namespace {

using Key = SettingAssignment::Key;

struct KeyInfo {
    const char* Name;
    Key Which;
};

constexpr KeyInfo kKeys[] = {
    {"baud", Key::Baud},          {"char-delay", Key::CharDelay}, {"line-delay", Key::LineDelay},
    {"flow", Key::Flow},          {"enter", Key::Enter},          {"alt-key", Key::AltKey},
    {"pavex", Key::Pavex},        {"clear-data", Key::ClearData}, {"clear-stx", Key::ClearStx},
    {"clear-etx", Key::ClearEtx},
};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

template <size_t N>
std::string Join(const std::array<std::string_view, N>& items) {
    std::string text;
    for (const auto& item : items) {
        text += (text.empty() ? "" : ", ") + std::string(item);
    }
    return text;
}

template <size_t N>
int IndexOfName(const std::array<std::string_view, N>& items, std::string_view value) {
    for (size_t i = 0; i < N; ++i) {
        if (Lower(items[i]) == Lower(value)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Plain decimal digits only: "+10", " 10" or "1e3" are not what anyone means by a delay.
std::optional<int> ParseDecimal(std::string_view text) {
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::stoi(std::string(text));
}

// The allowed values of a key, for the refusal message.
std::string AllowedValues(Key key) {
    switch (key) {
        case Key::Baud:
            return Join(kBaudRateItems);
        case Key::CharDelay:
        case Key::LineDelay:
            return "0 to " + std::to_string(kMaxDelayMs) + " in steps of " +
                   std::to_string(kDelayUnitMs);
        case Key::Flow:
            return Join(kFlowControlNames);
        case Key::Enter:
            return Join(kEnterControlNames);
        default:
            return "on, off";
    }
}

std::optional<int> ParseValue(Key key, std::string_view value) {
    switch (key) {
        case Key::Baud: {
            const int index = IndexOfName(kBaudRateItems, value);
            if (index < 0) {
                return std::nullopt;
            }
            return std::stoi(std::string(kBaudRateItems[static_cast<size_t>(index)]));
        }
        case Key::CharDelay:
        case Key::LineDelay: {
            const auto ms = ParseDecimal(value);
            if (!ms || *ms > kMaxDelayMs || *ms % kDelayUnitMs != 0) {
                return std::nullopt;
            }
            return ms;
        }
        case Key::Flow: {
            const int index = IndexOfName(kFlowControlNames, value);
            return index < 0 ? std::nullopt : std::optional<int>(index);
        }
        case Key::Enter: {
            const int index = IndexOfName(kEnterControlNames, value);
            return index < 0 ? std::nullopt : std::optional<int>(index);
        }
        default: {
            const std::string lower = Lower(value);
            if (lower == "on" || lower == "1") {
                return 1;
            }
            if (lower == "off" || lower == "0") {
                return 0;
            }
            return std::nullopt;
        }
    }
}

}  // namespace

const std::vector<std::string>& SettingNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> list;
        for (const KeyInfo& info : kKeys) {
            list.emplace_back(info.Name);
        }
        return list;
    }();
    return names;
}

std::vector<std::string> SettingValueWords(const std::string& key) {
    const auto info = std::find_if(std::begin(kKeys), std::end(kKeys),
                                   [&](const KeyInfo& k) { return key == k.Name; });
    if (info == std::end(kKeys)) {
        return {};
    }
    const auto words = [](const auto& items) {
        return std::vector<std::string>(items.begin(), items.end());
    };
    switch (info->Which) {
        case Key::Baud:
            return words(kBaudRateItems);
        case Key::CharDelay:
        case Key::LineDelay:
            return {"0", "10", "20", "50", "100", "200", "500", "1000", "2000"};
        case Key::Flow:
            return words(kFlowControlNames);
        case Key::Enter:
            return words(kEnterControlNames);
        default:
            return {"on", "off"};
    }
}

std::string SettingsText(const SettingsControlValues& values) {
    const auto onOff = [](bool on) { return on ? std::string("on") : std::string("off"); };
    std::string text = "baud=" + values.BaudText;
    text += " char-delay=" + std::to_string(values.CharDelayMs);
    text += " line-delay=" + std::to_string(values.LineDelayMs);
    text +=
        " flow=" +
        std::string(kFlowControlNames[static_cast<size_t>(std::clamp(values.FlowCtrlIndex, 0, 1))]);
    text += " enter=" +
            (values.EnterCtrlIndex >= 0 && values.EnterCtrlIndex <= 2
                 ? std::string(kEnterControlNames[static_cast<size_t>(values.EnterCtrlIndex)])
                 : std::string("none"));
    text += " alt-key=" + onOff(values.UseAltKey);
    text += " pavex=" + onOff(values.Pavex);
    text += " clear-data=" + onOff(values.ClrMem);
    text += " clear-stx=" + onOff(values.ClrStx);
    text += " clear-etx=" + onOff(values.ClrEtx);
    return text;
}

std::optional<std::vector<SettingAssignment>> ParseAssignments(
    const std::vector<std::string>& words, std::string& error) {
    std::vector<SettingAssignment> assignments;
    for (const std::string& word : words) {
        const size_t equals = word.find('=');
        if (equals == std::string::npos) {
            error = "expected KEY=VALUE, got \"" + word + "\"";
            return std::nullopt;
        }
        const std::string name = Lower(std::string_view(word).substr(0, equals));
        const std::string_view value = std::string_view(word).substr(equals + 1);
        const auto info = std::find_if(std::begin(kKeys), std::end(kKeys),
                                       [&](const KeyInfo& k) { return name == k.Name; });
        if (info == std::end(kKeys)) {
            std::string known;
            for (const std::string& n : SettingNames()) {
                known += (known.empty() ? "" : ", ") + n;
            }
            error = "unknown setting \"" + word.substr(0, equals) + "\" (settings: " + known + ")";
            return std::nullopt;
        }
        const auto number = ParseValue(info->Which, value);
        if (!number) {
            error = "bad value \"" + std::string(value) + "\" for " + info->Name +
                    " (allowed: " + AllowedValues(info->Which) + ")";
            return std::nullopt;
        }
        assignments.push_back({info->Which, info->Name, *number});
    }
    if (assignments.empty()) {
        error = "nothing to set: give one or more KEY=VALUE";
        return std::nullopt;
    }
    return assignments;
}

}  // namespace quillon
