#include "hid/HidDevice.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "hid/ControllerError.h"
#include "hid/HidDeviceController.h"
#include "hid/HidDeviceReadThread.h"
#include "hid/Log.h"
#include "hid/ReportDescriptor.h"

namespace quillon {

THidDevice::THidDevice(const THidPnPInfo& info, THidDeviceController* controller,
                       IHidPlatform& platform, IEventLoop& loop)
    : platform_(platform), loop_(loop), controller_(controller), pnpInfo_(info) {
    if (controller_ != nullptr) {
        SetDataHandler(controller_->OnDeviceData());  // not checked out: no reader starts
        unplugHandler_ = controller_->OnDeviceUnplug();
        dataErrorHandler_ = controller_->OnDeviceDataError();
    }
    if (!OpenDeviceHandle()) {
        throw EControllerError("Device cannot be opened");
    }
    const std::optional<HidIdentity> identity = deviceHandle_->GetAttributes();
    if (!identity) {
        throw EControllerError("Device cannot be identified");
    }
    Identity = *identity;
    CloseDeviceHandle();  // a fresh device holds no open handle
}

THidDevice::~THidDevice() {
    if (delivering_ != nullptr) {
        *delivering_ = true;
    }
    const THidDataEvent dataHandler = dataHandler_;
    const THidPlugEvent unplugHandler = unplugHandler_;
    SetDataHandler({});  // stops the reader before any handle is closed
    unplugHandler_ = {};
    CloseDeviceHandle();
    CloseReadHandle();
    exclusiveHandle_.reset();
    parsedDescriptor_.reset();
    if (controller_ != nullptr) {
        controller_->Release(this, dataHandler, unplugHandler, ReaderSleepTime());
    }
}

bool THidDevice::OpenDeviceHandle() {
    deviceHandle_ = platform_.OpenDevice(pnpInfo_, HidAccess::ReadWrite);
    canReadWrite_ = deviceHandle_ != nullptr;
    if (canReadWrite_) {
        openError_ = 0;
    } else {
        openError_ = platform_.LastError();
        deviceHandle_ = platform_.OpenDevice(pnpInfo_, HidAccess::QueryOnly);
    }
    return deviceHandle_ != nullptr;
}

bool THidDevice::EnsureDeviceHandle() {
    if (IsUsable() && deviceHandle_ == nullptr) {
        OpenDeviceHandle();
    }
    return deviceHandle_ != nullptr;
}

void THidDevice::CloseDeviceHandle() {
    deviceHandle_.reset();
}

void THidDevice::CloseReadHandle() {
    std::shared_ptr<IHidHandle> handle;
    {
        std::lock_guard lock(readMutex_);
        handle = std::move(readHandle_);
    }
    // The reader may be waiting on this handle: wake it rather than pull the handle from under
    // it. The handle closes when the reader lets go of its share.
    if (handle != nullptr) {
        handle->WakeWait();
    }
}

std::string THidDevice::OpenErrorMessage() const {
    return openError_ == 0 ? std::string() : platform_.ErrorMessage(openError_);
}

HidCaps THidDevice::Capabilities() {
    if (!parsedDescriptor_ && EnsureDeviceHandle()) {
        parsedDescriptor_ = deviceHandle_->GetCaps();
        CloseDeviceHandle();
    }
    return parsedDescriptor_.value_or(HidCaps{});
}

std::u16string THidDevice::FetchString(std::u16string& cache, StringQuery query) {
    if (!cache.empty()) {
        return cache;
    }
    if (EnsureDeviceHandle()) {
        if (const std::optional<std::u16string> text = (deviceHandle_.get()->*query)()) {
            const size_t end = std::min(text->find(u'\0'), kMaxStringLength);
            cache = text->substr(0, end);
        }
        CloseDeviceHandle();
    }
    return cache;
}

std::u16string THidDevice::ManufacturerString() {
    return FetchString(manufacturerString_, &IHidHandle::GetManufacturerString);
}

std::u16string THidDevice::ProductString() {
    return FetchString(productString_, &IHidHandle::GetProductString);
}

bool THidDevice::GetFeatureReport(std::span<uint8_t> report) {
    const bool ok = EnsureDeviceHandle() && deviceHandle_->GetFeature(report);
    if (!ok) {
        LogTransferFailure("get", report);
    }
    return ok;
}

bool THidDevice::SetFeatureReport(std::span<const uint8_t> report) {
    const bool ok = EnsureDeviceHandle() && deviceHandle_->SetFeature(report);
    if (!ok) {
        LogTransferFailure("set", report);
    }
    return ok;
}

void THidDevice::LogTransferFailure(const char* direction, std::span<const uint8_t> report) {
    // Read the error first: building the message must not change it for the caller.
    const uint32_t error = platform_.LastError();
    Log(LogCategory::Hid, [&] {
        return pnpInfo_.InterfacePath + ": feature report " +
               std::to_string(report.empty() ? 0 : report[0]) + " " + direction + " of " +
               std::to_string(report.size()) + " bytes failed: " +
               (error != 0 ? platform_.ErrorMessage(error) : std::string("device not usable"));
    });
}

void THidDevice::SetReaderSleepTime(int ms) {
    if (ms >= kMinReaderSleepTime && ms <= kMaxReaderSleepTime) {
        readerSleepTime_.store(ms, std::memory_order_relaxed);
    }
}

void THidDevice::SetDataHandler(const THidDataEvent& handler) {
    if (!handler) {
        StopReader();
    }
    dataHandler_ = handler;
    StartReader();
}

void THidDevice::StartReader() {
    if (!dataHandler_ || !attached_ || !checkedOut_ || !canReadWrite_ || reader_ != nullptr) {
        return;
    }
    // Read on the owning thread, so the descriptor is cached before the reader exists. A device
    // without input reports has nothing a reader could ever deliver.
    const uint16_t inputLength = Capabilities().InputReportByteLength;
    if (inputLength == 0) {
        return;
    }
    reader_ = std::make_unique<THidDeviceReadThread>(*this, inputLength, loop_);
    reader_->Start();
}

void THidDevice::StopReader() {
    if (reader_ == nullptr) {
        return;
    }
    if (delivering_ != nullptr) {
        // A data handler stops the very reader that waits for it to return (it clears the data
        // handler, or releases this device): waiting for that reader here would never end. It
        // is asked to stop, which it does without touching this device again, and its thread is
        // ended from the loop once the handler has returned.
        reader_->RequestStop();
        loop_.Post([retired = std::shared_ptr<THidDeviceReadThread>(std::move(reader_))] {
            retired->Stop();
        });
        return;
    }
    reader_->Stop();
    reader_.reset();
}

HidLockResult THidDevice::LockExclusive() {
    if (exclusiveCount_ > 0) {
        ++exclusiveCount_;
        return HidLockResult::Held;
    }
    if (!IsUsable() || !canReadWrite_) {
        return HidLockResult::Failed;
    }
    auto handle = platform_.OpenDevice(pnpInfo_, HidAccess::ReadWrite);
    if (handle == nullptr) {
        return HidLockResult::Failed;
    }
    const HidLockResult result = handle->TryLockExclusive();
    if (result == HidLockResult::Held) {
        exclusiveHandle_ = std::move(handle);
        exclusiveCount_ = 1;
    }
    Log(LogCategory::Hid, [&] {
        return pnpInfo_.InterfacePath + (result == HidLockResult::Held ? ": taken for exclusive use"
                                         : result == HidLockResult::Busy
                                             ? ": in use by another program"
                                             : ": exclusive use cannot be taken");
    });
    return result;
}

void THidDevice::UnlockExclusive() {
    if (exclusiveCount_ == 0 || --exclusiveCount_ > 0) {
        return;
    }
    if (exclusiveHandle_ != nullptr) {
        exclusiveHandle_->Unlock();
        exclusiveHandle_.reset();
    }
}

void THidDevice::MarkUnplugged() {
    CloseDeviceHandle();
    {
        std::lock_guard lock(readMutex_);
        readable_ = false;
    }
    CloseReadHandle();
    attached_ = false;
    if (unplugHandler_) {
        const THidPlugEvent handler = unplugHandler_;
        unplugHandler_ = {};
        handler(this);
    }
}

std::shared_ptr<IHidHandle> THidDevice::AcquireReadHandle(uint32_t& error) {
    std::lock_guard lock(readMutex_);
    if (!readable_) {
        error = ENODEV;
        return nullptr;
    }
    if (readHandle_ == nullptr) {
        readHandle_ = platform_.OpenDevice(pnpInfo_, HidAccess::Read);
        if (readHandle_ == nullptr) {
            error = platform_.LastError();
            if (error == 0) {
                error = EIO;
            }
            return nullptr;
        }
    }
    return readHandle_;
}

void THidDevice::DiscardReadHandle(const std::shared_ptr<IHidHandle>& handle) {
    std::lock_guard lock(readMutex_);
    if (readHandle_ == handle) {
        readHandle_.reset();
    }
}

template <typename Call>
void THidDevice::Deliver(Call call) {
    // The handler may release this device, which then tells through destroyed that nothing of
    // it may be touched any more.
    bool destroyed = false;
    delivering_ = &destroyed;
    call();
    if (!destroyed) {
        delivering_ = nullptr;
    }
}

void THidDevice::DeliverReport(std::span<const uint8_t> report) {
    if (dataHandler_ && !report.empty()) {
        Deliver([&] { dataHandler_(this, report[0], report.subspan(1)); });
    }
}

void THidDevice::DeliverError(uint32_t error) {
    if (dataErrorHandler_) {
        Deliver([&] { dataErrorHandler_(this, error); });
    }
}

}  // namespace quillon
