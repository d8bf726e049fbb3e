#include "hid/linux/tests/HidrawTestBed.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

std::string& NamespaceProblem() {
    static std::string problem = "the test did not enter a mount namespace of its own";
    return problem;
}

std::string Failure(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

bool WriteProcFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    return written;
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string Hex(unsigned value, int digits, bool upper = false) {
    char text[16];
    std::snprintf(text, sizeof text, upper ? "%0*X" : "%0*x", digits, value);
    return text;
}

// The kernel's link from a device to its subsystem; readers take the subsystem from the
// link's last name.
void LinkSubsystem(const fs::path& device, const fs::path& sysfsRoot, const std::string& where) {
    fs::create_directories(sysfsRoot / where);
    fs::create_directory_symlink(fs::relative(sysfsRoot / where, device), device / "subsystem");
}

}  // namespace

bool RunningInCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && *ci != '\0' && std::strcmp(ci, "false") != 0 &&
           std::strcmp(ci, "0") != 0;
}

std::string Utf16ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size()) {
            code = 0x10000 + ((code - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
        }
        if (code < 0x80) {
            out += char(code);
        } else if (code < 0x800) {
            out += char(0xC0 | (code >> 6));
            out += char(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += char(0xE0 | (code >> 12));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        } else {
            out += char(0xF0 | (code >> 18));
            out += char(0x80 | ((code >> 12) & 0x3F));
            out += char(0x80 | ((code >> 6) & 0x3F));
            out += char(0x80 | (code & 0x3F));
        }
    }
    return out;
}

std::string EnterPrivateMountNamespace() {
    if (::geteuid() == 0) {
        if (::unshare(CLONE_NEWNS) != 0) {
            return NamespaceProblem() = Failure("unshare(CLONE_NEWNS)");
        }
    } else {
        // Without root, a user namespace of our own grants the right to mount FUSE.
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            return NamespaceProblem() = Failure("unshare(CLONE_NEWUSER | CLONE_NEWNS)");
        }
        if (!WriteProcFile("/proc/self/setgroups", "deny") ||
            !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return NamespaceProblem() = Failure("user namespace mapping");
        }
    }
    // Keep our mounts from propagating back into the namespace we came from.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return NamespaceProblem() = Failure("making / private");
    }
    NamespaceProblem().clear();
    return {};
}

HidrawTestBed::HidrawTestBed() {
    if (!NamespaceProblem().empty()) {
        unavailable_ = NamespaceProblem();
        return;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        unavailable_ = Failure("/dev/fuse");
        return;
    }
    char folder[] = "/tmp/quillon-hidraw-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        unavailable_ = Failure("mkdtemp");
        return;
    }
    folder_ = folder;
    sysfsRoot_ = folder_ + "/sys";
    devRoot_ = folder_ + "/dev";
    fs::create_directories(sysfsRoot_ + "/class/hidraw");
    fs::create_directories(sysfsRoot_ + "/devices/pci0000:00");
    fs::create_directories(devRoot_);
    server_ = std::make_unique<FuseHidrawServer>(devRoot_);
    if (!server_->Start(unavailable_)) {
        server_.reset();
        return;
    }
    server_->OnUnplugRequest([this](const std::string& node) { RemoveSysfs(node); });
    ::setenv("QUILLON_SYSFS_ROOT", sysfsRoot_.c_str(), 1);
    ::setenv("QUILLON_DEV_ROOT", devRoot_.c_str(), 1);
}

HidrawTestBed::~HidrawTestBed() {
    server_.reset();
    ::unsetenv("QUILLON_SYSFS_ROOT");
    ::unsetenv("QUILLON_DEV_ROOT");
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

void HidrawTestBed::Plug(const Device& device, std::shared_ptr<emu::IDeviceModel> model) {
    const HidIdentity identity = model->Identity();
    const unsigned sequence = nextSequence_++;
    const std::string name = device.HidName.empty()
                                 ? Utf16ToUtf8(model->Manufacturer() + u" " + model->Product())
                                 : device.HidName;
    const fs::path devices = sysfsRoot_ + "/devices";
    fs::path hidParent;
    fs::path removal;
    if (device.Bus == 0x03) {
        const std::string port = "1-" + std::to_string(nextPort_++);
        const fs::path usb = devices / "pci0000:00/0000:00:14.0/usb1" / port;
        fs::create_directories(usb / (port + ":1.0"));
        WriteFile(usb / "idVendor", Hex(identity.VendorID, 4) + "\n");
        WriteFile(usb / "idProduct", Hex(identity.ProductID, 4) + "\n");
        WriteFile(usb / "bcdDevice",
                  Hex(device.Version.value_or(identity.VersionNumber), 4) + "\n");
        if (device.StringAttributes && !model->Manufacturer().empty()) {
            WriteFile(usb / "manufacturer", Utf16ToUtf8(model->Manufacturer()) + "\n");
        }
        if (device.StringAttributes && !model->Product().empty()) {
            WriteFile(usb / "product", Utf16ToUtf8(model->Product()) + "\n");
        }
        // PRODUCT as the kernel writes it: vendor/product/bcdDevice in hex without zeros.
        const std::string product = "PRODUCT=" + Hex(identity.VendorID, 1) + "/" +
                                    Hex(identity.ProductID, 1) + "/" +
                                    Hex(device.Version.value_or(identity.VersionNumber), 1) + "\n";
        WriteFile(usb / "uevent", "DEVTYPE=usb_device\nDRIVER=usb\n" + product);
        WriteFile(usb / (port + ":1.0") / "bInterfaceNumber", "00\n");
        WriteFile(usb / (port + ":1.0") / "uevent",
                  "DEVTYPE=usb_interface\nDRIVER=usbhid\n" + product + "INTERFACE=3/0/0\n");
        LinkSubsystem(usb, sysfsRoot_, "bus/usb");
        LinkSubsystem(usb / (port + ":1.0"), sysfsRoot_, "bus/usb");
        hidParent = usb / (port + ":1.0");
        removal = usb;
    } else {
        hidParent = devices / "virtual/misc/uhid";
    }
    const std::string hidName = Hex(device.Bus, 4, true) + ":" + Hex(identity.VendorID, 4, true) +
                                ":" + Hex(identity.ProductID, 4, true) + "." +
                                Hex(sequence, 4, true);
    const fs::path hid = hidParent / hidName;
    if (removal.empty()) {
        removal = hid;
    }
    const fs::path classDevice = hid / "hidraw" / device.Node;
    fs::create_directories(classDevice);
    WriteFile(hid / "uevent", "DRIVER=hid-generic\nHID_ID=" + Hex(device.Bus, 4, true) + ":" +
                                  Hex(identity.VendorID, 8, true) + ":" +
                                  Hex(identity.ProductID, 8, true) + "\nHID_NAME=" + name +
                                  "\nHID_PHYS=fixture/input0\nHID_UNIQ=\n");
    if (device.DescriptorInSysfs) {
        const auto descriptor = model->ReportDescriptor();
        WriteFile(hid / "report_descriptor", std::string(descriptor.begin(), descriptor.end()));
    }
    const std::string minor = device.Node.substr(6);
    WriteFile(classDevice / "uevent",
              "MAJOR=240\nMINOR=" + minor + "\nDEVNAME=" + device.Node + "\n");
    WriteFile(classDevice / "dev", "240:" + minor + "\n");
    LinkSubsystem(hid, sysfsRoot_, "bus/hid");
    LinkSubsystem(classDevice, sysfsRoot_, "class/hidraw");
    fs::create_directory_symlink("../../../" + hidName, classDevice / "device");
    fs::create_directory_symlink("../.." / fs::relative(classDevice, sysfsRoot_),
                                 sysfsRoot_ + "/class/hidraw/" + device.Node);
    {
        std::lock_guard lock(foldersMutex_);
        deviceFolders_[device.Node] = removal.string();
    }
    if (!device.NodeMissing) {
        server_->Plug(device.Node, std::move(model),
                      {device.Bus, name, device.RefuseOpen, device.FeatureReplyLimit});
    }
}

void HidrawTestBed::Unplug(const std::string& node) {
    server_->Unplug(node);
    RemoveSysfs(node);
}

bool HidrawTestBed::WaitForReader(const std::string& node) {
    return server_->WaitForPoll(node, std::chrono::seconds(10));
}

void HidrawTestBed::RemoveSysfs(const std::string& node) {
    std::lock_guard lock(foldersMutex_);
    std::error_code ignored;
    fs::remove(sysfsRoot_ + "/class/hidraw/" + node, ignored);
    const auto it = deviceFolders_.find(node);
    if (it != deviceFolders_.end()) {
        fs::remove_all(it->second, ignored);
        deviceFolders_.erase(it);
    }
}

}  // namespace quillon::test
