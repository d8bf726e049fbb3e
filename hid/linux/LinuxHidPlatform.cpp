#include "hid/linux/LinuxHidPlatform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

#include "hid/ErrnoFailure.h"
#include "hid/linux/DeviceChangeWatch.h"
#include "hid/linux/HidrawHandle.h"
#include "hid/linux/SysfsHidTree.h"
#include "hid/linux/SysfsText.h"

namespace quillon {
namespace {

using namespace linuxhid;

std::string EnvironmentOr(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

std::string NodeName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The USB port path of a device: the name of its USB device's folder ("1-2.3"); empty when
// it is not on USB.
std::string UsbPortOf(const HidrawEntry& entry) {
    return entry.UsbDeviceDir.empty() ? std::string() : UsbPortOfDevicePath(entry.UsbDeviceDir);
}

class LinuxHidPlatform : public IHidPlatform {
  public:
    LinuxHidPlatform(std::string sysfsRoot, std::string devRoot, ChangeSource source)
        : tree_(std::move(sysfsRoot)), devRoot_(std::move(devRoot)), source_(source) {}

    std::vector<THidPnPInfo> PresentInterfaces() override {
        std::vector<THidPnPInfo> present;
        std::map<std::string, std::string> listed;
        for (const std::string& name : tree_.HidrawNames()) {
            const auto entry = tree_.Find(name);
            // A node that udev has not created yet cannot be opened; its own event will
            // bring the next scan.
            if (!entry || !NodeExists(name)) {
                continue;
            }
            const std::string path = devRoot_ + "/" + name;
            present.push_back({path, tree_.InstanceHandle(*entry), UsbPortOf(*entry)});
            listed[path] = entry->ClassDir;
        }
        std::lock_guard lock(mutex_);
        listed_ = std::move(listed);
        return present;
    }

    HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path,
                                                HidAccess access) override {
        const auto entry = tree_.Find(NodeName(path));
        if (!entry) {
            return ErrnoFailure(ENODEV);
        }
        {
            // hidraw numbers are reused at once: after an unplug the same path may already
            // lead to another device, which must not receive this device's requests.
            std::lock_guard lock(mutex_);
            const auto it = listed_.find(path);
            if (it != listed_.end() && it->second != entry->ClassDir) {
                return ErrnoFailure(ENODEV);
            }
        }
        return OpenHidraw(path, *entry, access);
    }

    // The device's own instance handle is checked before the open, and again once the node is
    // open: a device that left and gave its number to another one between the check and the
    // open would otherwise hand over the newcomer's node. A scan in progress cannot help here,
    // as it may already list the newcomer at this path.
    HidResult<std::unique_ptr<IHidHandle>> OpenDevice(const THidPnPInfo& device,
                                                      HidAccess access) override {
        const auto entry = tree_.Find(NodeName(device.InterfacePath));
        if (!entry || tree_.InstanceHandle(*entry) != device.InstanceHandle) {
            return ErrnoFailure(ENODEV);
        }
        auto handle = OpenHidraw(device.InterfacePath, *entry, access);
        if (!handle) {
            return handle;
        }
        const auto after = tree_.Find(NodeName(device.InterfacePath));
        if (!after || tree_.InstanceHandle(*after) != device.InstanceHandle) {
            return ErrnoFailure(ENODEV);
        }
        return handle;
    }

    HidFailure GoneFailure(const std::string&) override { return ErrnoFailure(ENODEV); }

    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override {
        return WatchHidrawChanges(loop, source_,
                                  source_ == ChangeSource::Udev ? devRoot_ : tree_.ClassFolder(),
                                  std::move(onChange));
    }

  private:
    bool NodeExists(const std::string& name) const {
        return ::access((devRoot_ + "/" + name).c_str(), F_OK) == 0;
    }

    SysfsHidTree tree_;
    std::string devRoot_;
    ChangeSource source_;
    std::mutex mutex_;  // Open may come from a reader's thread while the GUI thread scans
    std::map<std::string, std::string> listed_;  // path -> its device at the last scan
};

}  // namespace

std::unique_ptr<IHidPlatform> CreateLinuxHidPlatform() {
    const char* testRoot = std::getenv("QUILLON_SYSFS_ROOT");
    const bool testTree = testRoot != nullptr && *testRoot != '\0';
    return std::make_unique<LinuxHidPlatform>(
        EnvironmentOr("QUILLON_SYSFS_ROOT", "/sys"), EnvironmentOr("QUILLON_DEV_ROOT", "/dev"),
        testTree ? ChangeSource::Inotify : ChangeSource::Udev);
}

}  // namespace quillon
