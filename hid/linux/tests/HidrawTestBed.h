#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hid/emulated/DeviceModel.h"
#include "hid/linux/tests/FuseHidrawServer.h"

namespace quillon::test {

// Enters a mount namespace of this process's own, so that the test's FUSE mount is private to
// it and disappears with it. Call from main before any thread starts. Returns the reason when
// that is impossible, empty on success.
std::string EnterPrivateMountNamespace();

// A temporary sysfs tree of plain files and a FUSE folder of hidraw nodes beside it, with
// QUILLON_SYSFS_ROOT and QUILLON_DEV_ROOT pointing at them.
class HidrawTestBed {
  public:
    HidrawTestBed();
    ~HidrawTestBed();

    // Empty when the bed is ready; otherwise why FUSE cannot be used here.
    const std::string& Unavailable() const { return unavailable_; }

    struct Device {
        std::string Node = "hidraw0";
        uint32_t Bus = 0x03;              // USB; anything else sits on no USB device
        std::optional<uint16_t> Version;  // bcdDevice; the model's version when unset
        bool StringAttributes = true;     // the USB device's manufacturer and product
        std::string HidName;              // HID_NAME; made up when empty
        bool DescriptorInSysfs = true;    // false: only HIDIOCGRDESC gives it
        bool RefuseOpen = false;          // the node exists but cannot be opened
        bool NodeMissing = false;         // sysfs shows it, the node is not there (yet)
        size_t FeatureReplyLimit = 0;     // >0: feature report reads answer at most that many bytes

        Device& At(std::string node) {
            Node = std::move(node);
            return *this;
        }
        Device& OnBus(uint32_t bus, std::string hidName) {
            Bus = bus;
            HidName = std::move(hidName);
            return *this;
        }
        Device& WithVersion(uint16_t version) {
            Version = version;
            return *this;
        }
        Device& WithoutStrings() {
            StringAttributes = false;
            return *this;
        }
        Device& DescriptorOnlyFromNode() {
            DescriptorInSysfs = false;
            return *this;
        }
        Device& Refusing() {
            RefuseOpen = true;
            return *this;
        }
        Device& WithoutNode() {
            NodeMissing = true;
            return *this;
        }
    };
    // Plugs a device: its sysfs folders, then its node.
    void Plug(const Device& device, std::shared_ptr<emu::IDeviceModel> model);
    // Unplugs as the kernel does: the node fails and vanishes, then sysfs forgets the device.
    void Unplug(const std::string& node);

    // Waits (up to 10 s) until a reader waits on the node; false if none came.
    bool WaitForReader(const std::string& node);

    std::string NodePath(const std::string& node) const { return devRoot_ + "/" + node; }
    const std::string& SysfsRoot() const { return sysfsRoot_; }

  private:
    void RemoveSysfs(const std::string& node);

    std::string folder_;
    std::string sysfsRoot_;
    std::string devRoot_;
    std::string unavailable_;
    std::unique_ptr<FuseHidrawServer> server_;
    std::mutex foldersMutex_;  // a model may unplug itself from a file-system thread
    std::map<std::string, std::string> deviceFolders_;  // node -> what its unplug removes
    unsigned nextSequence_ = 1;
    unsigned nextPort_ = 1;
};

// Skips the test where FUSE cannot be used, but fails it in CI, where it must run.
#define QUILLON_REQUIRE_HIDRAW_BED(bed)                                                     \
    do {                                                                                    \
        if (!(bed).Unavailable().empty()) {                                                 \
            if (::quillon::test::RunningInCi()) {                                           \
                FAIL() << "FUSE hidraw fixture unavailable in CI: " << (bed).Unavailable(); \
            }                                                                               \
            GTEST_SKIP() << "FUSE hidraw fixture unavailable: " << (bed).Unavailable();     \
        }                                                                                   \
    } while (false)

bool RunningInCi();
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace quillon::test
