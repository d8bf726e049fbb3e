#include "hid/linux/SysfsHidTree.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "base/posix/UniqueFd.h"
#include "hid/linux/SysfsText.h"

namespace quillon::linuxhid {
namespace {

namespace fs = std::filesystem;

// How far above the HID device the USB device may sit (HID device, USB interface, USB device).
constexpr int kMaxUsbSearchDepth = 4;
// The kernel's largest report descriptor.
constexpr size_t kMaxDescriptorSize = 4096;

bool IsInside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

std::optional<std::string> Canonical(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    if (error) {
        return std::nullopt;
    }
    return resolved.string();
}

std::optional<HidId> ReadHidId(const HidrawEntry& entry) {
    const auto uevent = ReadSysfsFile(entry.HidDeviceDir + "/uevent");
    if (!uevent) {
        return std::nullopt;
    }
    const auto value = UeventValue(*uevent, "HID_ID");
    return value ? ParseHidId(*value) : std::nullopt;
}

std::string FindUsbDevice(const std::string& devices, const std::string& hidDeviceDir) {
    fs::path dir = fs::path(hidDeviceDir).parent_path();
    for (int depth = 0; depth < kMaxUsbSearchDepth && IsInside(dir.string(), devices); ++depth) {
        std::error_code error;
        if (fs::exists(dir / "bcdDevice", error) && fs::exists(dir / "idVendor", error)) {
            return dir.string();
        }
        dir = dir.parent_path();
    }
    return {};
}

std::optional<std::u16string> ReadUsbString(const HidrawEntry& entry, const char* attribute) {
    const auto text = ReadSysfsFile(entry.UsbDeviceDir + "/" + attribute);
    if (!text) {
        return std::nullopt;
    }
    return Utf8ToUtf16(TrimLineEnd(*text));
}

}  // namespace

SysfsHidTree::SysfsHidTree(std::string root) : root_(std::move(root)) {
    while (root_.size() > 1 && root_.back() == '/') {
        root_.pop_back();
    }
}

std::vector<std::string> SysfsHidTree::HidrawNames() const {
    std::vector<std::pair<unsigned long, std::string>> found;
    std::error_code error;
    for (fs::directory_iterator it(ClassFolder(), error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (const auto number = ParseHidrawNumber(name)) {
            found.emplace_back(*number, std::move(name));
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    for (auto& [number, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<HidrawEntry> SysfsHidTree::Find(const std::string& name) const {
    if (!ParseHidrawNumber(name)) {
        return std::nullopt;
    }
    HidrawEntry entry;
    entry.Name = name;
    const auto classDir = Canonical(ClassFolder() + "/" + name);
    const auto hidDir = Canonical(ClassFolder() + "/" + name + "/device");
    const std::string devices = Canonical(root_ + "/devices").value_or(root_ + "/devices");
    if (!classDir || !hidDir || !IsInside(*hidDir, devices)) {
        return std::nullopt;
    }
    entry.ClassDir = *classDir;
    entry.HidDeviceDir = *hidDir;
    const auto id = ReadHidId(entry);
    if (id && id->Bus == kBusUsb) {
        entry.UsbDeviceDir = FindUsbDevice(devices, *hidDir);
    }
    return entry;
}

uint32_t SysfsHidTree::InstanceHandle(const HidrawEntry& entry) const {
    // FNV-1a over the device's place in the tree.
    uint32_t hash = 2166136261u;
    for (char c : entry.ClassDir) {
        hash = (hash ^ uint8_t(c)) * 16777619u;
    }
    return hash;
}

std::optional<std::string> ReadSysfsFile(const std::string& path, size_t limit) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    std::string content;
    char chunk[4096];
    bool failed = false;
    while (content.size() <= limit) {
        const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0) {
            break;
        }
        content.append(chunk, size_t(n));
    }
    if (failed || content.size() > limit) {
        return std::nullopt;
    }
    return content;
}

std::optional<HidIdentity> ReadSysfsIdentity(const HidrawEntry& entry) {
    const auto id = ReadHidId(entry);
    if (!id) {
        return std::nullopt;
    }
    HidIdentity identity;
    identity.VendorID = id->Vendor;
    identity.ProductID = id->Product;
    identity.VersionNumber = 0;
    if (!entry.UsbDeviceDir.empty()) {
        if (const auto bcd = ReadSysfsFile(entry.UsbDeviceDir + "/bcdDevice")) {
            identity.VersionNumber = ParseHex16(*bcd).value_or(0);
        }
    }
    return identity;
}

std::optional<std::u16string> ReadSysfsManufacturer(const HidrawEntry& entry) {
    // Only a USB device has a manufacturer string of its own; the HID name of other buses
    // names the product.
    if (entry.UsbDeviceDir.empty()) {
        return std::nullopt;
    }
    return ReadUsbString(entry, "manufacturer");
}

std::optional<std::u16string> ReadSysfsProduct(const HidrawEntry& entry) {
    if (!entry.UsbDeviceDir.empty()) {
        return ReadUsbString(entry, "product");
    }
    const auto uevent = ReadSysfsFile(entry.HidDeviceDir + "/uevent");
    if (!uevent) {
        return std::nullopt;
    }
    const auto name = UeventValue(*uevent, "HID_NAME");
    if (!name || name->empty()) {
        return std::nullopt;
    }
    return Utf8ToUtf16(*name);
}

std::optional<std::vector<uint8_t>> ReadSysfsReportDescriptor(const HidrawEntry& entry) {
    const auto bytes = ReadSysfsFile(entry.HidDeviceDir + "/report_descriptor", kMaxDescriptorSize);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

}  // namespace quillon::linuxhid
