#include "hid/AccessAdvice.h"

namespace quillon {

bool IsAccessRefusal(const HidFailure& failure) {
    return failure.Error.Kind == HidErrorKind::NoPermission;
}

#ifdef _WIN32
std::string MissingAccessAdvice(const std::string& node) {
    std::string text;
    text += "Read/write access to " + node + " was refused.\n";
    text += "Windows keeps keyboards and mice to itself, and another program (a second copy of ";
    text += "this utility, a vendor's tool) may hold the adapter open without sharing it.\n";
    text += "Close the other programs that use the adapter, then unplug it and plug it in ";
    text += "again. No driver or rule needs to be installed.\n";
    return text;
}
#else
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
#endif

}  // namespace quillon
