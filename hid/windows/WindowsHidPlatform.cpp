#include "hid/windows/WindowsHidPlatform.h"

#include <cstddef>
#include <optional>
#include <vector>

#include "hid/windows/DeviceNotificationWatch.h"
#include "hid/windows/LastError.h"
#include "hid/windows/WideText.h"
#include "hid/windows/WindowsHidHandle.h"

namespace quillon {
namespace {

using namespace winhid;

class WindowsHidPlatform : public IHidPlatform {
  public:
    explicit WindowsHidPlatform(std::shared_ptr<const HidFunctions> functions)
        : F_(std::move(functions)) {
        F_->HidD_GetHidGuid(&HidInterfaceClass_);
    }

    std::vector<THidPnPInfo> PresentInterfaces() override {
        std::vector<THidPnPInfo> present;
        const HDEVINFO set = F_->SetupDiGetClassDevsW(&HidInterfaceClass_, nullptr, nullptr,
                                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        if (set == INVALID_HANDLE_VALUE) {
            FailWithSystemError();
            return present;
        }
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA entry{};
            entry.cbSize = sizeof entry;
            if (!F_->SetupDiEnumDeviceInterfaces(set, nullptr, &HidInterfaceClass_, index,
                                                 &entry)) {
                break;  // ERROR_NO_MORE_ITEMS, or a list that cannot be walked further
            }
            // An interface that vanished since the list was taken has no detail any more; the
            // others are still looked at.
            if (auto info = InterfaceInfo(set, entry)) {
                present.push_back(std::move(*info));
            }
        }
        F_->SetupDiDestroyDeviceInfoList(set);
        return present;
    }

    std::unique_ptr<IHidHandle> Open(const std::string& path, HidAccess access) override {
        return OpenHidInterface(F_, path, access);
    }

    uint32_t LastError() override { return LastErrorCode(); }

    std::string ErrorMessage(uint32_t code) override {
        wchar_t* text = nullptr;
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::string message = length > 0 ? Utf8(text, length) : std::string();
        LocalFree(text);
        // The system's texts end in a full stop and a line break; the callers add their own.
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                    message.back() == '.' || message.back() == ' ')) {
            message.pop_back();
        }
        return message.empty() ? "Windows error " + std::to_string(code) : message;
    }

    std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                              std::function<void()> onChange) override {
        return WatchHidInterfaceChanges(loop, HidInterfaceClass_, std::move(onChange),
                                        [this] { return PresentInterfaces(); });
    }

  private:
    std::optional<THidPnPInfo> InterfaceInfo(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& entry) {
        DWORD size = 0;
        if (F_->SetupDiGetDeviceInterfaceDetailW(set, &entry, nullptr, 0, &size, nullptr) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER || size < sizeof(DWORD)) {
            return std::nullopt;
        }
        // DWORD-aligned storage for the variable-length record.
        std::vector<DWORD> storage((size + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!F_->SetupDiGetDeviceInterfaceDetailW(set, &entry, detail, size, nullptr, &device)) {
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
        return THidPnPInfo{Utf8(detail->DevicePath, length), uint32_t(device.DevInst)};
    }

    std::shared_ptr<const HidFunctions> F_;
    GUID HidInterfaceClass_{};
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
