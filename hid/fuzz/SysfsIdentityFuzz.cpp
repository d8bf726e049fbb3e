// libFuzzer target: a hidraw device's identity as the hidraw backend reads it from sysfs, with
// arbitrary text in every attribute file it reads. The input holds the files' contents in this
// order, separated by NUL bytes: the HID device's uevent, the USB device's bcdDevice,
// manufacturer and product, and last the HID device's report_descriptor (the rest of the
// input, NULs and all). They are written into a small sysfs tree of plain files, made once in
// /dev/shm (or the temporary folder), where a USB device holds the HID device of hidraw0.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "hid/ReportDescriptor.h"
#include "hid/linux/SysfsHidTree.h"
#include "hid/linux/SysfsText.h"

namespace {

namespace fs = std::filesystem;
using namespace quillon::linuxhid;

struct Tree {
    fs::path Root;
    fs::path UsbDevice;
    fs::path HidDevice;
};

// Made once and kept to the end: the folder is removed at exit.
const Tree& MakeTree() {
    static const Tree* const tree = [] {
        // In memory where there is such a folder: every run writes five files, and on a disk
        // that is several times slower.
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0
                                  ? fs::path("/dev/shm")
                                  : fs::temp_directory_path();
        std::string folder = (base / "quillon-sysfs-fuzz-XXXXXX").string();
        if (::mkdtemp(folder.data()) == nullptr) {
            std::abort();
        }
        auto* t = new Tree;
        t->Root = folder;
        t->UsbDevice = t->Root / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
        t->HidDevice = t->UsbDevice / "1-2:1.0/0003:169B:0110.0001";
        const fs::path classDevice = t->HidDevice / "hidraw/hidraw0";
        fs::create_directories(classDevice);
        fs::create_directories(t->Root / "class/hidraw");
        fs::create_directory_symlink("../..", classDevice / "device");
        fs::create_directory_symlink(fs::relative(classDevice, t->Root / "class/hidraw"),
                                     t->Root / "class/hidraw/hidraw0");
        // The backend recognises the USB device by these two files being there.
        std::ofstream(t->UsbDevice / "idVendor") << "169b\n";
        std::ofstream(t->UsbDevice / "idProduct") << "0110\n";
        std::atexit([] { fs::remove_all(MakeTree().Root); });
        return t;
    }();
    return *tree;
}

// Cuts the next field off the input: up to the next NUL, or all of it for the last one.
std::string_view Next(std::string_view& input, bool last = false) {
    const size_t end = last ? std::string_view::npos : input.find('\0');
    const std::string_view field = input.substr(0, end);
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
    return field;
}

void Write(const fs::path& file, std::string_view content) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(content.data(), std::streamsize(content.size()));
}

// Every high surrogate followed by a low one, and no low one alone.
bool WellFormed(const std::u16string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (low ||
            (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) {
            return false;
        }
        i += high ? 1 : 0;
    }
    return true;
}

void CheckText(const std::optional<std::u16string>& text, size_t inputSize) {
    if (text && (!WellFormed(*text) || text->size() > inputSize)) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Tree& tree = MakeTree();
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::string_view uevent = Next(input);
    const std::string_view bcdDevice = Next(input);
    const std::string_view manufacturer = Next(input);
    const std::string_view product = Next(input);
    const std::string_view descriptor = Next(input, true);
    Write(tree.HidDevice / "uevent", uevent);
    Write(tree.UsbDevice / "bcdDevice", bcdDevice);
    Write(tree.UsbDevice / "manufacturer", manufacturer);
    Write(tree.UsbDevice / "product", product);
    Write(tree.HidDevice / "report_descriptor", descriptor);

    const SysfsHidTree sysfs(tree.Root.string());
    const auto entry = sysfs.Find("hidraw0");
    if (!entry) {
        return 0;
    }
    // Whatever the files say, the device is where the links put it.
    if (entry->HidDeviceDir != tree.HidDevice.string() ||
        (!entry->UsbDeviceDir.empty() && entry->UsbDeviceDir != tree.UsbDevice.string())) {
        __builtin_trap();
    }
    ReadSysfsIdentity(*entry);
    CheckText(ReadSysfsManufacturer(*entry), manufacturer.size());
    CheckText(ReadSysfsProduct(*entry), std::max(product.size(), uevent.size()));
    if (const auto bytes = ReadSysfsReportDescriptor(*entry)) {
        if (bytes->size() > descriptor.size()) {
            __builtin_trap();
        }
        quillon::ParseReportDescriptorCaps(*bytes);
    }
    return 0;
}
