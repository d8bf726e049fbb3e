#include "hid/linux/DeviceChangeWatch.h"

#include <libudev.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>

#include "base/posix/UniqueFd.h"

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
        : loop_(loop), onChange_(std::move(onChange)) {}

    ~HidrawChangeWatch() override {
        for (int id : watchIds_) {
            loop_.Unwatch(id);
        }
        if (monitor_ != nullptr) {
            udev_monitor_unref(monitor_);
        }
        if (udev_ != nullptr) {
            udev_unref(udev_);
        }
    }

    bool StartUdev() {
        udev_ = udev_new();
        if (udev_ == nullptr) {
            return false;
        }
        monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_ == nullptr ||
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
            udev_monitor_enable_receiving(monitor_) < 0) {
            return false;
        }
        const int fd = udev_monitor_get_fd(monitor_);
        if (fd < 0 || !StartTimer()) {
            return false;
        }
        watchIds_.push_back(loop_.WatchReadable(fd, [this] { DrainUdev(); }));
        return true;
    }

    bool StartInotify(const std::string& folder) {
        inotifyFd_.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
        if (!inotifyFd_.Valid()) {
            return false;
        }
        const uint32_t events = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;
        if (::inotify_add_watch(inotifyFd_.Get(), folder.c_str(), events) < 0 || !StartTimer()) {
            return false;
        }
        watchIds_.push_back(loop_.WatchReadable(inotifyFd_.Get(), [this] { DrainInotify(); }));
        return true;
    }

  private:
    bool StartTimer() {
        if (timerFd_.Valid()) {
            return true;
        }
        timerFd_.Reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
        if (!timerFd_.Valid()) {
            return false;
        }
        watchIds_.push_back(loop_.WatchReadable(timerFd_.Get(), [this] { Settled(); }));
        return true;
    }

    void DrainUdev() {
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            udev_device_unref(device);
        }
        Rearm();
    }

    void DrainInotify() {
        alignas(inotify_event) char buffer[4096];
        while (::read(inotifyFd_.Get(), buffer, sizeof buffer) > 0) {
        }
        Rearm();
    }

    // Every event pushes the notification back, so it comes once the burst is over.
    void Rearm() { ArmOneShot(timerFd_.Get(), &::timerfd_settime, kSettleNs); }

    void Settled() {
        uint64_t expirations = 0;
        if (::read(timerFd_.Get(), &expirations, sizeof expirations) > 0 && onChange_) {
            onChange_();
        }
    }

    IEventLoop& loop_;
    std::function<void()> onChange_;
    std::vector<int> watchIds_;
    UniqueFd timerFd_;
    UniqueFd inotifyFd_;
    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
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
