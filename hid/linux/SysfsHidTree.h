#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidTypes.h"

namespace quillon::linuxhid {

// Where one hidraw node's attributes live in sysfs.
struct HidrawEntry {
    std::string Name;          // "hidraw3": the node's name under the device root
    std::string ClassDir;      // the hidraw class device, symbolic links resolved
    std::string HidDeviceDir;  // its HID device: uevent, report_descriptor
    std::string UsbDeviceDir;  // the USB device it sits on; empty when not on USB
};

// The hidraw devices that a sysfs tree shows (the real /sys or a test tree of plain files).
class SysfsHidTree {
  public:
    explicit SysfsHidTree(std::string root);

    const std::string& Root() const { return root_; }
    std::string ClassFolder() const { return root_ + "/class/hidraw"; }

    // hidraw names in the order of their numbers (hidraw2 before hidraw10).
    std::vector<std::string> HidrawNames() const;
    std::optional<HidrawEntry> Find(const std::string& name) const;

    // A number that stays the same while the same device stays plugged in. The kernel gives
    // every new HID device a fresh sequence number in its sysfs path, so a device that is
    // unplugged and plugged back counts as a new one, as the controller needs.
    uint32_t InstanceHandle(const HidrawEntry& entry) const;

  private:
    std::string root_;
};

std::optional<std::string> ReadSysfsFile(const std::string& path, size_t limit = 65536);

std::optional<HidIdentity> ReadSysfsIdentity(const HidrawEntry& entry);
std::optional<std::u16string> ReadSysfsManufacturer(const HidrawEntry& entry);
std::optional<std::u16string> ReadSysfsProduct(const HidrawEntry& entry);
std::optional<std::vector<uint8_t>> ReadSysfsReportDescriptor(const HidrawEntry& entry);

}  // namespace quillon::linuxhid
