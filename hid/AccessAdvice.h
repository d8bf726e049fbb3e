#pragma once

#include <string>

#include "hid/HidError.h"

namespace quillon {

// The udev rule that gives the user at the seat read/write access to the adapter's node.
inline constexpr const char* kAdapterUdevRuleName = "70-quillon-adapter.rules";
inline constexpr const char* kAdapterUdevRuleInstalledPath =
    "/usr/lib/udev/rules.d/70-quillon-adapter.rules";

// Whether an open failed for want of permission (rather than, say, a device that is gone).
bool IsAccessRefusal(const HidFailure& failure);

// What the window and the command-line tool both tell the user when the adapter's node may not
// be read and written: which node, that access was refused, which rule is missing and how to
// install it. Several lines, each ending in a line break.
std::string MissingAccessAdvice(const std::string& node);

}  // namespace quillon
