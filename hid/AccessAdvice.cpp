#include "hid/AccessAdvice.h"

#include <cerrno>

namespace quillon {

bool IsAccessRefusal(uint32_t platformError) {
    // The hidraw backend and the emulated bus report errno values.
    return platformError == EACCES || platformError == EPERM;
}

std::string MissingAccessAdvice(const std::string& node) {
    std::string text;
    text += "Read/write access to " + node + " was refused.\n";
    text += "The adapter is reached without root through the udev rule ";
    text += kAdapterUdevRuleName;
    text += ", which the package installs as ";
    text += kAdapterUdevRuleInstalledPath;
    text += ".\n";
    text += "To install it by hand, run in the folder that holds it (packaging/ in the sources):\n";
    text += "  sudo install -m 644 ";
    text += kAdapterUdevRuleName;
    text += " /usr/lib/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger\n";
    text += "then unplug the adapter and plug it in again.\n";
    return text;
}

}  // namespace quillon
