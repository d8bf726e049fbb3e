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
        : loop_(loop),
          onChange_(std::move(onChange)),
          listPresent_(std::move(listPresent)),
          alive_(std::make_shared<bool>(true)) {
        std::promise<void> ready;
        std::future<void> started = ready.get_future();
        thread_ = std::thread([this, hidInterfaceClass, &ready] { Run(hidInterfaceClass, ready); });
        started.wait();
    }

    ~HidInterfaceWatch() override {
        // Tasks already posted find the watch gone; the loop's thread is the only one that
        // reads or writes this flag.
        *alive_ = false;
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        } else {
            PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        }
        thread_.join();
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
        for (const THidPnPInfo& info : listPresent_()) {
            present.emplace_back(info.InterfacePath, info.InstanceHandle);
        }
        std::sort(present.begin(), present.end());
        return present;
    }

    // A change that no notice announced.
    void Poll() {
        if (Present() != known_) {
            Settled();
        }
    }

    void Settled() {
        known_ = Present();
        loop_.Post([alive = alive_, onChange = onChange_] {
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
        window_ = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
        HDEVNOTIFY registration = nullptr;
        if (window_ != nullptr) {
            SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_DEVICEINTERFACE_W filter{};
            filter.dbcc_size = sizeof filter;
            filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
            filter.dbcc_classguid = hidInterfaceClass;
            registration =
                RegisterDeviceNotificationW(window_, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        }
        threadId_ = GetCurrentThreadId();
        known_ = Present();
        // Without a window the timer's messages come to the thread.
        SetTimer(window_, kPollTimer, kPollMs, nullptr);
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

    IEventLoop& loop_;
    std::function<void()> onChange_;
    std::function<std::vector<THidPnPInfo>()> listPresent_;
    std::shared_ptr<bool> alive_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    Fingerprint known_;  // the watch's thread only
    std::thread thread_;
};

}  // namespace

std::unique_ptr<IHidPlatform::Watch> WatchHidInterfaceChanges(
    IEventLoop& loop, const GUID& hidInterfaceClass, std::function<void()> onChange,
    std::function<std::vector<THidPnPInfo>()> listPresent) {
    return std::make_unique<HidInterfaceWatch>(loop, hidInterfaceClass, std::move(onChange),
                                               std::move(listPresent));
}

}  // namespace quillon::winhid
