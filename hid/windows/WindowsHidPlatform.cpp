#include "hid/windows/WindowsHidPlatform.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "base/windows/WideText.h"
#include "hid/windows/DeviceNotificationWatch.h"
#include "hid/windows/Win32Failure.h"
#include "hid/windows/WindowsHidHandle.h"

namespace quillon {
namespace {

using namespace winhid;

// The device instance ID of a device node's parent (DEVPKEY_Device_Parent), spelt out here:
// MinGW's headers define the keys only for a translation unit that instantiates them all.
constexpr DEVPROPKEY kDeviceParentKey = {
    {0x4340a6c5, 0x93fa, 0x4706, {0x97, 0x2c, 0x7b, 0x64, 0x80, 0x08, 0xa5, 0xa7}}, 8};
// How far above the HID device node a location is looked for: the USB interface, the USB
// device, its hub.
constexpr int kMaxLocationDepth = 3;
// Longer location texts and instance IDs than any the system makes.
constexpr DWORD kMaxPropertyChars = 512;

class WindowsHidPlatform : public IHidPlatform {
  public:
    explicit WindowsHidPlatform(std::shared_ptr<const HidFunctions> functions)
        : functions_(std::move(functions)) {
        functions_->HidD_GetHidGuid(&hidInterfaceClass_);
    }

    std::vector<THidPnPInfo> PresentInterfaces() override { return Interfaces(true); }

    HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path,
                                                HidAccess access) override {
        return OpenHidInterface(functions_, path, access);
    }

    HidFailure GoneFailure(const std::string&) override {
        return Win32Failure(ERROR_DEVICE_NOT_CONNECTED);
    }

    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override {
        // The watch compares the lists once a second: it needs no locations.
        return WatchHidInterfaceChanges(loop, hidInterfaceClass_, std::move(onChange),
                                        [this] { return Interfaces(false); });
    }

  private:
    std::vector<THidPnPInfo> Interfaces(bool withLocation) {
        std::vector<THidPnPInfo> present;
        const HDEVINFO set = functions_->SetupDiGetClassDevsW(
            &hidInterfaceClass_, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) {
            return present;
        }
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA entry{};
            entry.cbSize = sizeof entry;
            if (!functions_->SetupDiEnumDeviceInterfaces(set, nullptr, &hidInterfaceClass_, index,
                                                         &entry)) {
                break;  // ERROR_NO_MORE_ITEMS, or a list that cannot be walked further
            }
            // An interface that vanished since the list was taken has no detail any more; the
            // others are still looked at.
            if (auto info = InterfaceInfo(set, entry, withLocation)) {
                present.push_back(std::move(*info));
            }
        }
        functions_->SetupDiDestroyDeviceInfoList(set);
        return present;
    }

    std::optional<THidPnPInfo> InterfaceInfo(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& entry,
                                             bool withLocation) {
        DWORD size = 0;
        if (functions_->SetupDiGetDeviceInterfaceDetailW(set, &entry, nullptr, 0, &size, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || size < sizeof(DWORD)) {
            return std::nullopt;
        }
        // DWORD-aligned storage for the variable-length record.
        std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!functions_->SetupDiGetDeviceInterfaceDetailW(set, &entry, detail, size, nullptr,
                                                          &device)) {
            return std::nullopt;
        }
        // The path ends at its terminator, within the record the system filled.
        const size_t room =
            (size - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
        size_t length = 0;
        while (length < room && detail->DevicePath[length] != L'\0') {
            ++length;
        }
        if (length == 0) {
            return std::nullopt;
        }
        return THidPnPInfo{Utf8(detail->DevicePath, length), uint32_t(device.DevInst),
                           withLocation ? LocationOf(set, device) : std::string()};
    }

    // The system's location of the device node (SPDRP_LOCATION_INFORMATION). The HID device
    // node seldom has one of its own; the USB device it belongs to has ("Port_#0002.Hub_#0001"),
    // so its parents are asked in turn.
    std::string LocationOf(HDEVINFO set, SP_DEVINFO_DATA device) {
        if (functions_->SetupDiGetDeviceRegistryPropertyW == nullptr) {
            return {};
        }
        std::wstring location = LocationText(set, device);
        if (!location.empty()) {
            return Utf8(location);
        }
        const HDEVINFO parents = functions_->SetupDiCreateDeviceInfoList(nullptr, nullptr);
        if (parents == INVALID_HANDLE_VALUE) {
            return {};
        }
        std::wstring parent = ParentOf(set, device);
        for (int depth = 0; depth < kMaxLocationDepth && !parent.empty(); ++depth) {
            SP_DEVINFO_DATA node{};
            node.cbSize = sizeof node;
            if (!functions_->SetupDiOpenDeviceInfoW(parents, parent.c_str(), nullptr, 0, &node)) {
                break;
            }
            location = LocationText(parents, node);
            if (!location.empty()) {
                break;
            }
            parent = ParentOf(parents, node);
        }
        functions_->SetupDiDestroyDeviceInfoList(parents);
        return Utf8(location);
    }

    std::wstring LocationText(HDEVINFO set, SP_DEVINFO_DATA& device) {
        wchar_t text[kMaxPropertyChars] = {};
        DWORD type = 0;
        if (!functions_->SetupDiGetDeviceRegistryPropertyW(
                set, &device, SPDRP_LOCATION_INFORMATION, &type, reinterpret_cast<BYTE*>(text),
                sizeof text - sizeof(wchar_t), nullptr) ||
            type != REG_SZ) {
            return {};
        }
        return text;
    }

    std::wstring ParentOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
        wchar_t id[kMaxPropertyChars] = {};
        DEVPROPTYPE type = 0;
        if (!functions_->SetupDiGetDevicePropertyW(set, &device, &kDeviceParentKey, &type,
                                                   reinterpret_cast<BYTE*>(id),
                                                   sizeof id - sizeof(wchar_t), nullptr, 0) ||
            type != DEVPROP_TYPE_STRING) {
            return {};
        }
        return id;
    }

    std::shared_ptr<const HidFunctions> functions_;
    GUID hidInterfaceClass_{};
};

}  // namespace

std::unique_ptr<IHidPlatform> CreateWindowsHidPlatform(
    std::shared_ptr<const HidFunctions> functions) {
    if (functions == nullptr) {
        return nullptr;
    }
    return std::make_unique<WindowsHidPlatform>(std::move(functions));
}

std::unique_ptr<IHidPlatform> CreateWindowsHidPlatform() {
    return CreateWindowsHidPlatform(BindSystemHidFunctions());
}

}  // namespace quillon
