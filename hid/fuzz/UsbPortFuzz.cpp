// libFuzzer target: where a device sits, from the names sysfs gives it: the USB port from a
// device's path, and the number from a hidraw node's name. The input is one path or name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "hid/linux/SysfsText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon::linuxhid;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A port is one whole component of the path, made of digits, one dash and dots only,
    // neither starting nor ending with a separator.
    const std::string port = UsbPortOfDevicePath(text);
    if (!port.empty()) {
        const bool whole =
            ("/" + std::string(text) + "/").find("/" + port + "/") != std::string::npos;
        const bool plain = port.find_first_not_of("0123456789-.") == std::string::npos &&
                           port.find('-') == port.rfind('-') && port.front() != '-' &&
                           port.back() != '-' && port.back() != '.' &&
                           port.find("-.") == std::string::npos &&
                           port.find("..") == std::string::npos;
        if (!whole || !plain) {
            __builtin_trap();
        }
    }

    // At most nine digits are taken: any number fits, and "hidraw" and digits only.
    if (const auto number = ParseHidrawNumber(text)) {
        if (*number > 999'999'999 ||
            text.find_first_not_of("0123456789", 6) != std::string_view::npos ||
            text.substr(0, 6) != "hidraw") {
            __builtin_trap();
        }
    }
    return 0;
}
