#include "hid/linux/HidrawHandle.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "base/posix/UniqueFd.h"
#include "hid/ErrnoFailure.h"
#include "hid/ReportDescriptor.h"

namespace quillon::linuxhid {
namespace {

// The failure of the system call that just failed (EIO when it left no errno).
HidFailure ErrnoNow() {
    return ErrnoFailure(errno != 0 ? errno : EIO);
}

// The size field of a hidraw ioctl number has 14 bits.
constexpr size_t kMaxIoctlLength = (1u << _IOC_SIZEBITS) - 1;

class HidrawHandle : public IHidHandle {
  public:
    HidrawHandle(HidrawEntry entry, HidAccess access, UniqueFd fd, UniqueFd wakeFd)
        : entry_(std::move(entry)),
          access_(access),
          fd_(std::move(fd)),
          wakeFd_(std::move(wakeFd)) {}

    // Called once before the handle is handed out: a reader must know whether the device
    // numbers its reports.
    void LearnReportNumbering() {
        if (const auto descriptor = GetReportDescriptor()) {
            usesReportIds_ = ReportDescriptorUsesReportIds(*descriptor);
        }
    }

    HidResult<HidIdentity> GetAttributes() override {
        if (auto identity = ReadSysfsIdentity(entry_)) {
            return *identity;
        }
        if (!fd_.Valid()) {
            return ErrnoFailure(ENODEV);
        }
        hidraw_devinfo info{};
        if (::ioctl(fd_.Get(), HIDIOCGRAWINFO, &info) < 0) {
            return ErrnoNow();
        }
        HidIdentity identity;
        identity.VendorID = uint16_t(info.vendor);
        identity.ProductID = uint16_t(info.product);
        identity.VersionNumber = 0;
        return identity;
    }

    HidResult<std::vector<uint8_t>> GetReportDescriptor() override {
        if (auto bytes = ReadSysfsReportDescriptor(entry_)) {
            return std::move(*bytes);
        }
        if (!fd_.Valid()) {
            return ErrnoFailure(ENODEV);
        }
        int size = 0;
        if (::ioctl(fd_.Get(), HIDIOCGRDESCSIZE, &size) < 0) {
            return ErrnoNow();
        }
        if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
            return ErrnoFailure(EIO);  // the driver's answer makes no sense
        }
        hidraw_report_descriptor raw{};
        raw.size = uint32_t(size);
        if (::ioctl(fd_.Get(), HIDIOCGRDESC, &raw) < 0) {
            return ErrnoNow();
        }
        return std::vector<uint8_t>(raw.value, raw.value + raw.size);
    }

    HidResult<std::u16string> GetManufacturerString() override {
        return Found(ReadSysfsManufacturer(entry_));
    }

    HidResult<std::u16string> GetProductString() override {
        return Found(ReadSysfsProduct(entry_));
    }

    HidResult<> GetFeature(std::span<uint8_t> report) override {
        if (HidResult<> checked = CheckFeatureRequest(report); !checked) {
            return checked;
        }
        const size_t length = report.size();
        const int count = FeatureIoctl(HIDIOCGFEATURE(length), report.data());
        if (count < 0) {
            return ErrnoNow();
        }
        if (size_t(count) < length) {
            // hidraw answers with the report's own length, which is less than asked when the
            // caller asks for the device's longest feature report. Shorter than the descriptor
            // declares that report, though, the reply is not the report: the rest of the buffer
            // would still hold what the caller put there (a preset status, say).
            const uint16_t declared = DeclaredFeatureLength(report[0]);
            if (declared == 0 || size_t(count) < declared) {
                return ErrnoFailure(EIO);
            }
            std::fill(report.begin() + count, report.end(), uint8_t{0});
        }
        return {};
    }

    HidResult<> SetFeature(std::span<const uint8_t> report) override {
        if (HidResult<> checked = CheckFeatureRequest(report); !checked) {
            return checked;
        }
        // The request is read/write at the ioctl level; the caller's buffer is const.
        std::vector<uint8_t> copy(report.begin(), report.end());
        if (FeatureIoctl(HIDIOCSFEATURE(copy.size()), copy.data()) < 0) {
            return ErrnoNow();
        }
        return {};
    }

    HidResult<HidWaitResult> WaitInput(int timeoutMs) override {
        if (access_ != HidAccess::Read) {
            return ErrnoFailure(EBADF);
        }
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fds[2] = {{wakeFd_.Get(), POLLIN, 0}, {fd_.Get(), POLLIN, 0}};
            const int n = ::poll(fds, 2, int(std::max<int64_t>(left.count(), 0)));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return ErrnoNow();
            }
            if (n == 0) {
                return HidWaitResult::Timeout;
            }
            // A wake-up wins over data: it usually means the reader is asked to stop.
            if (fds[0].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t ignored =
                    ::read(wakeFd_.Get(), &count, sizeof count);
                return HidWaitResult::Woken;
            }
            if (fds[1].revents & POLLIN) {
                return HidWaitResult::Ready;
            }
            if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                // hidraw reports a disconnected device this way.
                return ErrnoFailure(ENODEV);
            }
        }
    }

    void WakeWait() override {
        if (wakeFd_.Valid()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_.Get(), &one, sizeof one);
        }
    }

    HidResult<size_t> ReadInput(std::span<uint8_t> buffer) override {
        if (access_ != HidAccess::Read) {
            return ErrnoFailure(EBADF);
        }
        if (buffer.empty()) {
            return ErrnoFailure(EINVAL);
        }
        // Without report IDs the node delivers the bare report; the layer above expects the
        // report ID in byte 0 all the same.
        const size_t offset = usesReportIds_ ? 0 : 1;
        const std::span<uint8_t> target = buffer.subspan(offset);
        ssize_t n = 0;
        do {
            n = ::read(fd_.Get(), target.data(), target.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            return ErrnoNow();
        }
        if (n == 0) {
            return size_t{0};
        }
        if (offset == 1) {
            buffer[0] = 0;
        }
        return size_t(n) + offset;
    }

    // flock on the node: every open of it is a description of its own, so the lock keeps out
    // other handles of this process as well as other programs, and the kernel drops it when
    // the holder ends, however it ends.
    HidResult<> TryLockExclusive() override {
        if (!fd_.Valid()) {
            return ErrnoFailure(access_ == HidAccess::QueryOnly ? EACCES : EBADF);
        }
        int result = 0;
        do {
            result = ::flock(fd_.Get(), LOCK_EX | LOCK_NB);
        } while (result < 0 && errno == EINTR);
        if (result < 0) {
            return ErrnoNow();  // EWOULDBLOCK: another handle holds it
        }
        return {};
    }

    void Unlock() override {
        if (fd_.Valid()) {
            ::flock(fd_.Get(), LOCK_UN);
        }
    }

  private:
    uint16_t DeclaredFeatureLength(uint8_t reportId) {
        if (descriptor_.empty()) {
            if (HidResult<std::vector<uint8_t>> descriptor = GetReportDescriptor()) {
                descriptor_ = std::move(*descriptor);
            }
            if (descriptor_.empty()) {
                return 0;
            }
        }
        return FeatureReportLengthOf(descriptor_, reportId);
    }

    // A signal that arrives during a transfer (a Ctrl+C the program means to ride out) may cut
    // the request short with EINTR before the device took it: it is asked again, a few times
    // at most, so that a node that answers nothing but EINTR cannot hold the program forever.
    int FeatureIoctl(unsigned long request, uint8_t* buffer) {
        constexpr int kAttempts = 10;
        int result = -1;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            result = ::ioctl(fd_.Get(), request, buffer);
            if (result >= 0 || errno != EINTR) {
                break;
            }
        }
        return result;
    }

    static HidResult<std::u16string> Found(std::optional<std::u16string> text) {
        if (!text) {
            return ErrnoFailure(ENODATA);  // the device has no such string
        }
        return std::move(*text);
    }

    HidResult<> CheckFeatureRequest(std::span<const uint8_t> report) const {
        if (access_ != HidAccess::ReadWrite) {
            // What the user needs to hear about a node opened for query only: the request
            // was refused for lack of rights.
            return ErrnoFailure(access_ == HidAccess::QueryOnly ? EACCES : EBADF);
        }
        if (report.empty() || report.size() > kMaxIoctlLength) {
            return ErrnoFailure(EINVAL);
        }
        return {};
    }

    HidrawEntry entry_;
    HidAccess access_;
    UniqueFd fd_;
    UniqueFd wakeFd_;
    bool usesReportIds_ = true;
    std::vector<uint8_t> descriptor_;  // fetched at the first short feature reply
};

}  // namespace

HidResult<std::unique_ptr<IHidHandle>> OpenHidraw(const std::string& nodePath,
                                                  const HidrawEntry& entry, HidAccess access) {
    UniqueFd fd;
    UniqueFd wakeFd;
    switch (access) {
        case HidAccess::QueryOnly: {
            struct stat info {};
            if (::stat(nodePath.c_str(), &info) < 0) {
                return ErrnoNow();
            }
            break;
        }
        case HidAccess::ReadWrite:
            fd.Reset(::open(nodePath.c_str(), O_RDWR | O_CLOEXEC));
            break;
        case HidAccess::Read:
            fd.Reset(::open(nodePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
            break;
    }
    if (access != HidAccess::QueryOnly && !fd.Valid()) {
        return ErrnoNow();
    }
    if (access == HidAccess::Read) {
        wakeFd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!wakeFd.Valid()) {
            return ErrnoNow();
        }
    }
    auto handle = std::make_unique<HidrawHandle>(entry, access, std::move(fd), std::move(wakeFd));
    if (access == HidAccess::Read) {
        handle->LearnReportNumbering();
    }
    return std::unique_ptr<IHidHandle>(std::move(handle));
}

}  // namespace quillon::linuxhid
