#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Parsing of the small text attributes that sysfs shows for HID and USB devices. The text
// comes from the kernel, but a test tree or a misbehaving driver can put anything there, so
// every parser here accepts arbitrary bytes.
namespace quillon::linuxhid {

// The value of KEY in a uevent text ("KEY=value" lines); nullopt when the key is missing.
std::optional<std::string> UeventValue(std::string_view uevent, std::string_view key);

// The bus, vendor and product of a HID_ID value ("0003:0000169B:00000110").
struct HidId {
    uint32_t Bus = 0;
    uint16_t Vendor = 0;
    uint16_t Product = 0;
};
std::optional<HidId> ParseHidId(std::string_view value);

// A hexadecimal attribute such as bcdDevice ("0110\n") that must fit 16 bits.
std::optional<uint16_t> ParseHex16(std::string_view text);

// A string attribute without its trailing line break.
std::string_view TrimLineEnd(std::string_view text);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

// The number of a hidraw node's name ("hidraw12" gives 12); nullopt for any other name.
std::optional<unsigned long> ParseHidrawNumber(std::string_view name);

// The USB port a device sits on, from its sysfs device path: the last component that names a
// USB device by its place, bus number and the port numbers from the root hub down ("1-2", or
// "1-2.3" for port 3 of the hub on port 2). Interfaces ("1-2:1.0"), root hubs ("usb1") and HID
// devices ("0003:169B:0110.0005") are no ports. Empty when the path runs through none.
std::string UsbPortOfDevicePath(std::string_view path);

constexpr uint32_t kBusUsb = 0x03;

}  // namespace quillon::linuxhid
