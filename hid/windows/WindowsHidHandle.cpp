#include "hid/windows/WindowsHidHandle.h"

#include <algorithm>
#include <cctype>
#include <cwchar>
#include <functional>
#include <vector>

#include "base/windows/WideText.h"
#include "hid/windows/Win32Failure.h"

namespace quillon::winhid {
namespace {

// Room for the longest string a HID device may hold (126 characters) and then some.
constexpr ULONG kStringBufferChars = 256;

class WindowsHidHandle : public IHidHandle {
  public:
    WindowsHidHandle(std::shared_ptr<const HidFunctions> functions, HANDLE handle, HidAccess access)
        : functions_(std::move(functions)), handle_(handle), access_(access) {}

    ~WindowsHidHandle() override {
        if (readPending_) {
            // The read writes into readBuffer_ and readRequest_ until it has ended: cancel it
            // and wait for the end before the handle and the buffer go.
            DWORD ignored = 0;
            functions_->CancelIoEx(handle_, &readRequest_);
            functions_->GetOverlappedResult(handle_, &readRequest_, &ignored, TRUE);
        }
        functions_->CloseHandle(handle_);
        if (readRequest_.hEvent != nullptr) {
            CloseHandle(readRequest_.hEvent);
        }
        if (wakeEvent_ != nullptr) {
            CloseHandle(wakeEvent_);
        }
        Unlock();
        if (lockSemaphore_ != nullptr) {
            CloseHandle(lockSemaphore_);
        }
    }

    void SetPath(const std::string& path) { path_ = path; }

    HidResult<> PrepareReading() {
        readRequest_.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (readRequest_.hEvent == nullptr) {
            return LastWin32Failure();
        }
        wakeEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (wakeEvent_ == nullptr) {
            return LastWin32Failure();
        }
        const HidResult<HidCaps> caps = GetCaps();
        // Windows insists on a buffer of at least the input report length.
        readBuffer_.resize(caps && caps->InputReportByteLength > 0 ? caps->InputReportByteLength
                                                                   : 4096);
        return {};
    }

    HidResult<HidIdentity> GetAttributes() override {
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        if (!functions_->HidD_GetAttributes(handle_, &attributes)) {
            return LastDeviceFailure();
        }
        HidIdentity identity;
        identity.VendorID = attributes.VendorID;
        identity.ProductID = attributes.ProductID;
        identity.VersionNumber = attributes.VersionNumber;
        return identity;
    }

    // Windows does not hand the report descriptor to programs; GetCaps answers from the
    // system's own parse of it.
    HidResult<std::vector<uint8_t>> GetReportDescriptor() override {
        return Win32Failure(ERROR_NOT_SUPPORTED);
    }

    HidResult<HidCaps> GetCaps() override {
        if (caps_) {
            return *caps_;
        }
        PHIDP_PREPARSED_DATA preparsed = nullptr;
        if (!functions_->HidD_GetPreparsedData(handle_, &preparsed)) {
            return LastDeviceFailure();
        }
        HIDP_CAPS system{};
        const bool ok = functions_->HidP_GetCaps(preparsed, &system) == HIDP_STATUS_SUCCESS;
        functions_->HidD_FreePreparsedData(preparsed);
        if (!ok) {
            return Win32Failure(ERROR_INVALID_DATA);
        }
        HidCaps caps;
        caps.InputReportByteLength = system.InputReportByteLength;
        caps.OutputReportByteLength = system.OutputReportByteLength;
        caps.FeatureReportByteLength = system.FeatureReportByteLength;
        caps_ = caps;
        return caps;
    }

    HidResult<std::u16string> GetManufacturerString() override {
        return GetString(functions_->HidD_GetManufacturerString);
    }

    HidResult<std::u16string> GetProductString() override {
        return GetString(functions_->HidD_GetProductString);
    }

    HidResult<> GetFeature(std::span<uint8_t> report) override {
        std::vector<uint8_t> sized;
        if (HidResult<> prepared = PrepareFeature(report, sized); !prepared) {
            return prepared;
        }
        if (!functions_->HidD_GetFeature(handle_, sized.data(), ULONG(sized.size()))) {
            return LastDeviceFailure();
        }
        std::copy_n(sized.begin(), std::min(report.size(), sized.size()), report.begin());
        return {};
    }

    HidResult<> SetFeature(std::span<const uint8_t> report) override {
        std::vector<uint8_t> sized;
        if (HidResult<> prepared = PrepareFeature(report, sized); !prepared) {
            return prepared;
        }
        if (!functions_->HidD_SetFeature(handle_, sized.data(), ULONG(sized.size()))) {
            return LastDeviceFailure();
        }
        return {};
    }

    HidResult<HidWaitResult> WaitInput(int timeoutMs) override {
        if (access_ != HidAccess::Read) {
            return Win32Failure(ERROR_INVALID_HANDLE);
        }
        if (!readPending_ && !readDone_) {
            if (HidResult<> started = StartRead(); !started) {
                return started.Error();
            }
        }
        if (readDone_) {
            return HidWaitResult::Ready;
        }
        const HANDLE events[2] = {wakeEvent_, readRequest_.hEvent};
        const DWORD woke =
            WaitForMultipleObjects(2, events, FALSE, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
        // A wake-up wins over data: it usually means the reader is asked to stop.
        if (woke == WAIT_OBJECT_0) {
            return HidWaitResult::Woken;
        }
        if (woke == WAIT_TIMEOUT) {
            return HidWaitResult::Timeout;
        }
        if (woke != WAIT_OBJECT_0 + 1) {
            return LastWin32Failure();
        }
        return FinishRead();
    }

    // Exclusive use among the programs that ask for it: a named semaphore of one per device
    // path. Not a mutex: a mutex belongs to a thread and would let a second handle of the same
    // thread in.
    HidResult<> TryLockExclusive() override {
        if (lockHeld_) {
            return {};
        }
        if (lockSemaphore_ == nullptr) {
            std::string folded = path_;
            std::transform(folded.begin(), folded.end(), folded.begin(),
                           [](unsigned char c) { return char(std::tolower(c)); });
            const std::wstring name =
                L"Local\\quillon-adapter-" + std::to_wstring(std::hash<std::string>{}(folded));
            lockSemaphore_ = CreateSemaphoreW(nullptr, 1, 1, name.c_str());
            if (lockSemaphore_ == nullptr) {
                return LastWin32Failure();
            }
        }
        const DWORD taken = WaitForSingleObject(lockSemaphore_, 0);
        if (taken == WAIT_OBJECT_0) {
            lockHeld_ = true;
            return {};
        }
        if (taken == WAIT_TIMEOUT) {
            return Win32Failure(ERROR_BUSY);  // another handle holds it
        }
        return LastWin32Failure();
    }

    void Unlock() override {
        if (lockHeld_) {
            ReleaseSemaphore(lockSemaphore_, 1, nullptr);
            lockHeld_ = false;
        }
    }

    void WakeWait() override {
        if (wakeEvent_ != nullptr) {
            SetEvent(wakeEvent_);
        }
    }

    HidResult<size_t> ReadInput(std::span<uint8_t> buffer) override {
        if (access_ != HidAccess::Read) {
            return Win32Failure(ERROR_INVALID_HANDLE);
        }
        if (buffer.empty()) {
            return Win32Failure(ERROR_INVALID_PARAMETER);
        }
        if (!readDone_) {
            // Only what a wait reported ready is read: the reader never blocks here.
            return Win32Failure(ERROR_NO_DATA);
        }
        readDone_ = false;
        const size_t count = std::min<size_t>(readLength_, buffer.size());
        std::copy_n(readBuffer_.begin(), count, buffer.begin());
        return count;
    }

  private:
    using StringQuery = BOOLEAN(WINAPI*)(HANDLE, PVOID, ULONG);

    HidResult<std::u16string> GetString(StringQuery query) {
        wchar_t buffer[kStringBufferChars] = {};
        if (!query(handle_, buffer, sizeof buffer - sizeof(wchar_t))) {
            return LastDeviceFailure();
        }
        const size_t length = std::wcslen(buffer);
        return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
    }

    // Windows takes a feature report only in a buffer of exactly the device's feature report
    // length: a shorter request is padded with zeros and a longer one cut, so the caller may
    // ask for what it wants, as on Linux.
    HidResult<> PrepareFeature(std::span<const uint8_t> request, std::vector<uint8_t>& sized) {
        if (access_ != HidAccess::ReadWrite) {
            // A device open for queries only may not be written: tell the user it was refused.
            return Win32Failure(access_ == HidAccess::QueryOnly ? ERROR_ACCESS_DENIED
                                                                : ERROR_INVALID_HANDLE);
        }
        if (request.empty()) {
            return Win32Failure(ERROR_INVALID_PARAMETER);
        }
        const HidResult<HidCaps> caps = GetCaps();
        const size_t reportLength = caps && caps->FeatureReportByteLength > 0
                                        ? caps->FeatureReportByteLength
                                        : request.size();
        sized.assign(reportLength, 0);
        std::copy_n(request.begin(), std::min(request.size(), reportLength), sized.begin());
        return {};
    }

    HidResult<> StartRead() {
        ResetEvent(readRequest_.hEvent);
        const HANDLE event = readRequest_.hEvent;
        readRequest_ = OVERLAPPED{};
        readRequest_.hEvent = event;
        std::fill(readBuffer_.begin(), readBuffer_.end(), uint8_t{0});
        DWORD count = 0;
        if (functions_->ReadFile(handle_, readBuffer_.data(), DWORD(readBuffer_.size()), &count,
                                 &readRequest_)) {
            readDone_ = true;
            readLength_ = count;
            return {};
        }
        if (GetLastError() != ERROR_IO_PENDING) {
            return LastDeviceFailure();
        }
        readPending_ = true;
        return {};
    }

    // The read's end, once its event is signalled.
    HidResult<HidWaitResult> FinishRead() {
        DWORD count = 0;
        if (!functions_->GetOverlappedResult(handle_, &readRequest_, &count, FALSE)) {
            // An event signalled before its read has ended is no failure: wait again.
            if (GetLastError() == ERROR_IO_INCOMPLETE) {
                return HidWaitResult::Timeout;
            }
            HidFailure failure = LastDeviceFailure();
            readPending_ = false;
            return failure;
        }
        readPending_ = false;
        readDone_ = true;
        readLength_ = count;
        return HidWaitResult::Ready;
    }

    std::shared_ptr<const HidFunctions> functions_;
    HANDLE handle_;
    HidAccess access_;
    std::optional<HidCaps> caps_;  // asked once, kept

    // Input reports: one overlapped read at a time into readBuffer_.
    OVERLAPPED readRequest_{};
    HANDLE wakeEvent_ = nullptr;
    std::vector<uint8_t> readBuffer_;
    bool readPending_ = false;  // started, not yet ended
    bool readDone_ = false;     // ended with readLength_ bytes not yet taken
    DWORD readLength_ = 0;

    std::string path_;
    HANDLE lockSemaphore_ = nullptr;
    bool lockHeld_ = false;
};

}  // namespace

HidResult<std::unique_ptr<IHidHandle>> OpenHidInterface(
    std::shared_ptr<const HidFunctions> functions, const std::string& path, HidAccess access) {
    DWORD rights = 0;
    DWORD flags = 0;
    switch (access) {
        case HidAccess::ReadWrite:
            rights = GENERIC_READ | GENERIC_WRITE;
            break;
        case HidAccess::QueryOnly:
            break;
        case HidAccess::Read:
            rights = GENERIC_READ;
            flags = FILE_FLAG_OVERLAPPED;
            break;
    }
    const HANDLE handle =
        functions->CreateFileW(Utf16(path).c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return LastWin32Failure();
    }
    auto opened = std::make_unique<WindowsHidHandle>(std::move(functions), handle, access);
    opened->SetPath(path);
    if (access == HidAccess::Read) {
        if (HidResult<> prepared = opened->PrepareReading(); !prepared) {
            return prepared.Error();
        }
    }
    return std::unique_ptr<IHidHandle>(std::move(opened));
}

}  // namespace quillon::winhid
