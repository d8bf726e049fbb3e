#include "hid/linux/DeviceChangeWatch.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

#include "hid/posix/UniqueFd.h"

namespace quillon::linuxhid {
namespace {

// Long enough to take in the events of one device's interfaces, short enough to go unnoticed.
constexpr long kSettleNs = 50'000'000;

// Arms a timer descriptor to expire once, after nanoseconds (below one second); the type of the
// timer setting is the one the arming call takes.
template <typename TimerSetting>
void ArmOneShot(int fd, int (*arm)(int, int, const TimerSetting*, TimerSetting*),
                long nanoseconds) {
    TimerSetting setting{};
    setting.it_value.tv_nsec = nanoseconds;
    arm(fd, 0, &setting, nullptr);
}

class HidrawChangeWatch : public IHidPlatform::Watch {
  public:
    HidrawChangeWatch(IEventLoop& loop, std::function<void()> onChange)
        : Loop_(loop), OnChange_(std::move(onChange)) {}

    ~HidrawChangeWatch() override {
        for (int id : WatchIds_) {
            Loop_.Unwatch(id);
        }
        if (Monitor_ != nullptr) {
            udev_monitor_unref(Monitor_);
        }
        if (Udev_ != nullptr) {
            udev_unref(Udev_);
        }
    }

    bool StartUdev() {
        Udev_ = udev_new();
        if (Udev_ == nullptr) {
            return false;
        }
        Monitor_ = udev_monitor_new_from_netlink(Udev_, "udev");
        if (Monitor_ == nullptr ||
            udev_monitor_filter_add_match_subsystem_devtype(Monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(Monitor_) < 0) {
            return false;
        }
        const int fd = udev_monitor_get_fd(Monitor_);
        if (fd < 0 || !StartTimer()) {
            return false;
        }
        WatchIds_.push_back(Loop_.WatchReadable(fd, [this] { DrainUdev(); }));
        return true;
    }

    bool StartInotify(const std::string& folder) {
        InotifyFd_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!InotifyFd_.Valid()) {
            return false;
        }
        const uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
        if (::inotify_add_watch(InotifyFd_.Get(), folder.c_str(), events) < 0 || !StartTimer()) {
            return false;
        }
        WatchIds_.push_back(Loop_.WatchReadable(InotifyFd_.Get(), [this] { DrainInotify(); }));
        return true;
    }

  private:
    bool StartTimer() {
        if (TimerFd_.Valid()) {
            return true;
        }
        TimerFd_.Reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
        if (!TimerFd_.Valid()) {
            return false;
        }
        WatchIds_.push_back(Loop_.WatchReadable(TimerFd_.Get(), [this] { Settled(); }));
        return true;
    }

    void DrainUdev() {
        while (udev_device* device = udev_monitor_receive_device(Monitor_)) {
            udev_device_unref(device);
        }
        Rearm();
    }

    void DrainInotify() {
        alignas(inotify_event) char buffer[4096];
        while (::read(InotifyFd_.Get(), buffer, sizeof buffer) > 0) {
        }
        Rearm();
    }

    // Every event pushes the notification back, so it comes once the burst is over.
    void Rearm() { ArmOneShot(TimerFd_.Get(), &::timerfd_settime, kSettleNs); }

    void Settled() {
        uint64_t expirations = 0;
        if (::read(TimerFd_.Get(), &expirations, sizeof expirations) > 0 && OnChange_) {
            OnChange_();
        }
    }

    IEventLoop& Loop_;
    std::function<void()> OnChange_;
    std::vector<int> WatchIds_;
    UniqueFd TimerFd_;
    UniqueFd InotifyFd_;
    udev* Udev_ = nullptr;
    udev_monitor* Monitor_ = nullptr;
};

}  // namespace

std::unique_ptr<IHidPlatform::Watch> WatchHidrawChanges(IEventLoop& loop, ChangeSource source,
                                                        const std::string& folder,
                                                        std::function<void()> onChange) {
    if (source == ChangeSource::Udev) {
        auto watch = std::make_unique<HidrawChangeWatch>(loop, onChange);
        if (watch->StartUdev()) {
            return watch;
        }
    }
    // Without udev (a container, a test tree) the folder's entries are the next best news.
    auto watch = std::make_unique<HidrawChangeWatch>(loop, std::move(onChange));
    watch->StartInotify(folder);
    return watch;
}

}  // namespace quillon::linuxhid
