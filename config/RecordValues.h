#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "config/DeviceSettings.h"

namespace quillon {

// A setting byte whose value the settings page has no control state for: a baud code that is no
// baud rate of the list, an enter or flow code past the choices, a delay above 2000 ms, an option
// byte other than 0 and 1. Decoding such a record shows something else than it holds, so a write
// built from the display would not put back what the record says.
struct UnshowableValue {
    std::size_t Byte = 0;
    uint8_t Value = 0;
    std::string Setting;  // "baud rate code", "enter code", ...
    std::string Allowed;  // the values the byte may hold, in words
};

// The first of bytes 2 to 11 of the record that the page cannot show; nothing when it can show
// them all. Byte 0 is not looked at.
std::optional<UnshowableValue> FirstUnshowableValue(const ReportBuffer& record);

// "byte 3 (baud rate code) holds 7; allowed: ..."
std::string DescribeUnshowable(const UnshowableValue& value);

}  // namespace quillon
