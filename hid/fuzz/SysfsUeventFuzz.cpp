// libFuzzer target: the sysfs text parsers of the hidraw backend on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "hid/linux/SysfsText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon::linuxhid;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto id = UeventValue(text, "HID_ID")) {
        ParseHidId(*id);
    }
    if (const auto name = UeventValue(text, "HID_NAME")) {
        const std::u16string wide = Utf8ToUtf16(*name);
        // Every input byte yields at most one UTF-16 unit.
        if (wide.size() > name->size()) {
            __builtin_trap();
        }
    }
    ParseHex16(text);
    Utf8ToUtf16(text);
    return 0;
}
