#include "hid/windows/DeviceNotificationWatch.h"

#include <dbt.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>

namespace quillon::winhid {
namespace {

// Long enough to take in the notices of one device's interfaces, short enough to go unnoticed.
constexpr UINT kSettleMs = 50;
constexpr UINT_PTR kSettleTimer = 1;
// How often the present interfaces are compared, for systems that send no notices.
constexpr UINT kPollMs = 1000;
constexpr UINT_PTR kPollTimer = 2;
constexpr wchar_t kWindowClass[] = L"QuillonHidDeviceWatch";

class HidInterfaceWatch : public IHidPlatform::Watch {
  public:
    HidInterfaceWatch(IEventLoop& loop, const GUID& hidInterfaceClass,
                      std::function<void()> onChange,
                      std::function<std::vector<THidPnPInfo>()> listPresent)
        : Loop_(loop),
          OnChange_(std::move(onChange)),
          ListPresent_(std::move(listPresent)),
          Alive_(std::make_shared<bool>(true)) {
        std::promise<void> ready;
        std::future<void> started = ready.get_future();
        Thread_ = std::thread([this, hidInterfaceClass, &ready] { Run(hidInterfaceClass, ready); });
        started.wait();
    }

    ~HidInterfaceWatch() override {
        // Tasks already posted find the watch gone; the loop's thread is the only one that
        // reads or writes this flag.
        *Alive_ = false;
        if (Window_ != nullptr) {
            PostMessageW(Window_, WM_CLOSE, 0, 0);
        } else {
            PostThreadMessageW(ThreadId_, WM_QUIT, 0, 0);
        }
        Thread_.join();
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<HidInterfaceWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
            case WM_DEVICECHANGE:
                if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE ||
                    wParam == DBT_DEVNODES_CHANGED) {
                    // Every notice pushes the scan back, so it comes once the burst is over.
                    SetTimer(window, kSettleTimer, kSettleMs, nullptr);
                }
                return TRUE;
            case WM_TIMER:
                if (wParam == kSettleTimer && self != nullptr) {
                    KillTimer(window, kSettleTimer);
                    self->Settled();
                } else if (wParam == kPollTimer && self != nullptr) {
                    self->Poll();
                }
                return 0;
            case WM_CLOSE:
                DestroyWindow(window);
                return 0;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
            default:
                return DefWindowProcW(window, message, wParam, lParam);
        }
    }

    using Fingerprint = std::vector<std::pair<std::string, uint32_t>>;

    Fingerprint Present() const {
        Fingerprint present;
        for (const THidPnPInfo& info : ListPresent_()) {
            present.emplace_back(info.InterfacePath, info.InstanceHandle);
        }
        std::sort(present.begin(), present.end());
        return present;
    }

    // A change that no notice announced.
    void Poll() {
        if (Present() != Known_) {
            Settled();
        }
    }

    void Settled() {
        Known_ = Present();
        Loop_.Post([alive = Alive_, onChange = OnChange_] {
            if (*alive && onChange) {
                onChange();
            }
        });
    }

    void Run(GUID hidInterfaceClass, std::promise<void>& ready) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &WindowProc;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);  // fails harmlessly when a second watch registers again
        // A top-level window that is never shown.
        Window_ = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
        HDEVNOTIFY registration = nullptr;
        if (Window_ != nullptr) {
            SetWindowLongPtrW(Window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = hidInterfaceClass;
            registration =
                RegisterDeviceNotificationW(Window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        ThreadId_ = GetCurrentThreadId();
        Known_ = Present();
        // Without a window the timer's messages come to the thread.
        SetTimer(Window_, kPollTimer, kPollMs, nullptr);
        ready.set_value();
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (message.hwnd == nullptr && message.message == WM_TIMER) {
                Poll();
            } else {
                DispatchMessageW(&message);
            }
        }
        if (registration != nullptr) {
            UnregisterDeviceNotification(registration);
        }
    }

    IEventLoop& Loop_;
    std::function<void()> OnChange_;
    std::function<std::vector<THidPnPInfo>()> ListPresent_;
    std::shared_ptr<bool> Alive_;
    HWND Window_ = nullptr;
    DWORD ThreadId_ = 0;
    Fingerprint Known_;  // the watch's thread only
    std::thread Thread_;
};

}  // namespace

std::unique_ptr<IHidPlatform::Watch> WatchHidInterfaceChanges(
    IEventLoop& loop, const GUID& hidInterfaceClass, std::function<void()> onChange,
    std::function<std::vector<THidPnPInfo>()> listPresent) {
    return std::make_unique<HidInterfaceWatch>(loop, hidInterfaceClass, std::move(onChange),
                                               std::move(listPresent));
}

}  // namespace quillon::winhid
