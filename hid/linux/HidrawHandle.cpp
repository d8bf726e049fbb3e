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

#include "hid/ReportDescriptor.h"
#include "hid/linux/LastError.h"
#include "hid/posix/UniqueFd.h"

namespace quillon::linuxhid {
namespace {

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

    std::optional<HidIdentity> GetAttributes() override {
        if (auto identity = ReadSysfsIdentity(entry_)) {
            return identity;
        }
        hidraw_devinfo info{};
        if (!fd_.Valid() || ::ioctl(fd_.Get(), HIDIOCGRAWINFO, &info) < 0) {
            SetLastErrorCode(!fd_.Valid() ? ENODEV : errno);
            return std::nullopt;
        }
        HidIdentity identity;
        identity.VendorID = uint16_t(info.vendor);
        identity.ProductID = uint16_t(info.product);
        identity.VersionNumber = 0;
        return identity;
    }

    std::optional<std::vector<uint8_t>> GetReportDescriptor() override {
        if (auto bytes = ReadSysfsReportDescriptor(entry_)) {
            return bytes;
        }
        if (!fd_.Valid()) {
            SetLastErrorCode(ENODEV);
            return std::nullopt;
        }
        int size = 0;
        if (::ioctl(fd_.Get(), HIDIOCGRDESCSIZE, &size) < 0) {
            SetLastErrorFromErrno();
            return std::nullopt;
        }
        if (size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE) {
            SetLastErrorCode(EINVAL);
            return std::nullopt;
        }
        hidraw_report_descriptor raw{};
        raw.size = uint32_t(size);
        if (::ioctl(fd_.Get(), HIDIOCGRDESC, &raw) < 0) {
            SetLastErrorFromErrno();
            return std::nullopt;
        }
        return std::vector<uint8_t>(raw.value, raw.value + raw.size);
    }

    std::optional<std::u16string> GetManufacturerString() override {
        return Found(ReadSysfsManufacturer(entry_));
    }

    std::optional<std::u16string> GetProductString() override {
        return Found(ReadSysfsProduct(entry_));
    }

    bool GetFeature(std::span<uint8_t> report) override {
        if (!CheckFeatureRequest(report)) {
            return false;
        }
        const size_t length = report.size();
        const int count = FeatureIoctl(HIDIOCGFEATURE(length), report.data());
        if (count < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (size_t(count) < length) {
            // hidraw answers with the report's own length, which is less than asked when the
            // caller asks for the device's longest feature report. Shorter than the descriptor
            // declares that report, though, the reply is not the report: the rest of the buffer
            // would still hold what the caller put there (a preset status, say).
            const uint16_t declared = DeclaredFeatureLength(report[0]);
            if (declared == 0 || size_t(count) < declared) {
                SetLastErrorCode(EIO);
                return false;
            }
            std::fill(report.begin() + count, report.end(), uint8_t{0});
        }
        return true;
    }

    bool SetFeature(std::span<const uint8_t> report) override {
        if (!CheckFeatureRequest(report)) {
            return false;
        }
        // The request is read/write at the ioctl level; the caller's buffer is const.
        std::vector<uint8_t> copy(report.begin(), report.end());
        if (FeatureIoctl(HIDIOCSFEATURE(copy.size()), copy.data()) < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        return true;
    }

    HidWaitResult WaitInput(int timeoutMs) override {
        if (access_ != HidAccess::Read) {
            SetLastErrorCode(EBADF);
            return HidWaitResult::Failed;
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
                SetLastErrorFromErrno();
                return HidWaitResult::Failed;
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
                SetLastErrorCode(ENODEV);
                return HidWaitResult::Failed;
            }
        }
    }

    void WakeWait() override {
        if (wakeFd_.Valid()) {
            const uint64_t one = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_.Get(), &one, sizeof one);
        }
    }

    long ReadInput(std::span<uint8_t> buffer) override {
        if (access_ != HidAccess::Read) {
            SetLastErrorCode(EBADF);
            return -1;
        }
        if (buffer.empty()) {
            SetLastErrorCode(EINVAL);
            return -1;
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
            SetLastErrorFromErrno();
            return -1;
        }
        if (n == 0) {
            return 0;
        }
        if (offset == 1) {
            buffer[0] = 0;
        }
        return long(n) + long(offset);
    }

    // flock on the node: every open of it is a description of its own, so the lock keeps out
    // other handles of this process as well as other programs, and the kernel drops it when
    // the holder ends, however it ends.
    HidLockResult TryLockExclusive() override {
        if (!fd_.Valid()) {
            SetLastErrorCode(access_ == HidAccess::QueryOnly ? EACCES : EBADF);
            return HidLockResult::Failed;
        }
        int result = 0;
        do {
            result = ::flock(fd_.Get(), LOCK_EX | LOCK_NB);
        } while (result < 0 && errno == EINTR);
        if (result == 0) {
            return HidLockResult::Held;
        }
        if (errno == EWOULDBLOCK) {
            SetLastErrorCode(EWOULDBLOCK);
            return HidLockResult::Busy;
        }
        SetLastErrorFromErrno();
        return HidLockResult::Failed;
    }

    void Unlock() override {
        if (fd_.Valid()) {
            ::flock(fd_.Get(), LOCK_UN);
        }
    }

  private:
    uint16_t DeclaredFeatureLength(uint8_t reportId) {
        if (descriptor_.empty()) {
            descriptor_ = GetReportDescriptor().value_or(std::vector<uint8_t>{});
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

    std::optional<std::u16string> Found(std::optional<std::u16string> text) {
        if (!text) {
            SetLastErrorCode(ENOENT);
        }
        return text;
    }

    bool CheckFeatureRequest(std::span<const uint8_t> report) {
        if (access_ != HidAccess::ReadWrite) {
            // What the user needs to hear about a node opened for query only: the request
            // was refused for lack of rights.
            SetLastErrorCode(access_ == HidAccess::QueryOnly ? EACCES : EBADF);
            return false;
        }
        if (report.empty() || report.size() > kMaxIoctlLength) {
            SetLastErrorCode(EINVAL);
            return false;
        }
        return true;
    }

    HidrawEntry entry_;
    HidAccess access_;
    UniqueFd fd_;
    UniqueFd wakeFd_;
    bool usesReportIds_ = true;
    std::vector<uint8_t> descriptor_;  // fetched at the first short feature reply
};

}  // namespace

std::unique_ptr<IHidHandle> OpenHidraw(const std::string& nodePath, const HidrawEntry& entry,
                                       HidAccess access) {
    UniqueFd fd;
    UniqueFd wakeFd;
    switch (access) {
        case HidAccess::QueryOnly: {
            struct stat info {};
            if (::stat(nodePath.c_str(), &info) < 0) {
                SetLastErrorFromErrno();
                return nullptr;
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
        SetLastErrorFromErrno();
        return nullptr;
    }
    if (access == HidAccess::Read) {
        wakeFd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (!wakeFd.Valid()) {
            SetLastErrorFromErrno();
            return nullptr;
        }
    }
    auto handle = std::make_unique<HidrawHandle>(entry, access, std::move(fd), std::move(wakeFd));
    if (access == HidAccess::Read) {
        handle->LearnReportNumbering();
    }
    return handle;
}

}  // namespace quillon::linuxhid
