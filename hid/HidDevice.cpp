#include "hid/HidDevice.h"

#include <algorithm>
#include <vector>

#include "base/Log.h"
#include "hid/ControllerError.h"
#include "hid/HidDeviceController.h"
#include "hid/HidDeviceReadThread.h"
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
    const HidResult<HidIdentity> identity = deviceHandle_->GetAttributes();
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
    HidResult<std::unique_ptr<IHidHandle>> opened =
        platform_.OpenDevice(pnpInfo_, HidAccess::ReadWrite);
    canReadWrite_ = static_cast<bool>(opened);
    if (canReadWrite_) {
        openFailure_ = {};
    } else {
        openFailure_ = opened.Error();
        opened = platform_.OpenDevice(pnpInfo_, HidAccess::QueryOnly);
    }
    deviceHandle_ = opened ? std::move(*opened) : nullptr;
    return deviceHandle_ != nullptr;
}

HidResult<> THidDevice::EnsureDeviceHandle() {
    if (deviceHandle_ != nullptr) {
        return {};
    }
    if (!IsUsable()) {
        return UnusableFailure();
    }
    if (!OpenDeviceHandle()) {
        return openFailure_;
    }
    return {};
}

HidFailure THidDevice::UnusableFailure() const {
    if (!attached_) {
        return platform_.GoneFailure(pnpInfo_.InterfacePath);
    }
    // A checked-in device outside an enumeration: a mistake of the caller, not of the device.
    return HidFailure{HidError{HidErrorKind::TransferFailed, 0}, "the device is not checked out"};
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

HidCaps THidDevice::Capabilities() {
    if (!parsedDescriptor_ && EnsureDeviceHandle()) {
        if (const HidResult<HidCaps> caps = deviceHandle_->GetCaps()) {
            parsedDescriptor_ = *caps;
        }
        CloseDeviceHandle();
    }
    return parsedDescriptor_.value_or(HidCaps{});
}

std::u16string THidDevice::FetchString(std::u16string& cache, StringQuery query) {
    if (!cache.empty()) {
        return cache;
    }
    if (EnsureDeviceHandle()) {
        if (const HidResult<std::u16string> text = (deviceHandle_.get()->*query)()) {
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

HidResult<> THidDevice::GetFeatureReport(std::span<uint8_t> report) {
    HidResult<> result = EnsureDeviceHandle();
    if (result) {
        result = deviceHandle_->GetFeature(report);
    }
    return LogTransfer("get", report, std::move(result));
}

HidResult<> THidDevice::SetFeatureReport(std::span<const uint8_t> report) {
    HidResult<> result = EnsureDeviceHandle();
    if (result) {
        result = deviceHandle_->SetFeature(report);
    }
    return LogTransfer("set", report, std::move(result));
}

HidResult<> THidDevice::LogTransfer(const char* direction, std::span<const uint8_t> report,
                                    HidResult<> result) const {
    if (!result) {
        Log(LogCategory::Hid, [&] {
            return pnpInfo_.InterfacePath + ": feature report " +
                   std::to_string(report.empty() ? 0 : report[0]) + " " + direction + " of " +
                   std::to_string(report.size()) + " bytes failed: " + result.Error().Message;
        });
    }
    return result;
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
    HidResult<std::unique_ptr<IHidHandle>> handle =
        platform_.OpenDevice(pnpInfo_, HidAccess::ReadWrite);
    if (!handle) {
        return HidLockResult::Failed;
    }
    const HidResult<> locked = (*handle)->TryLockExclusive();
    const HidLockResult result = locked ? HidLockResult::Held
                                 : locked.Error().Error.Kind == HidErrorKind::Busy
                                     ? HidLockResult::Busy
                                     : HidLockResult::Failed;
    if (result == HidLockResult::Held) {
        exclusiveHandle_ = std::move(*handle);
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

HidResult<std::shared_ptr<IHidHandle>> THidDevice::AcquireReadHandle() {
    std::lock_guard lock(readMutex_);
    if (!readable_) {
        // Unplugged: the path may already lead to another device, so it is not opened again.
        return platform_.GoneFailure(pnpInfo_.InterfacePath);
    }
    if (readHandle_ == nullptr) {
        HidResult<std::unique_ptr<IHidHandle>> opened =
            platform_.OpenDevice(pnpInfo_, HidAccess::Read);
        if (!opened) {
            return opened.Error();
        }
        readHandle_ = std::move(*opened);
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

void THidDevice::DeliverError(const HidFailure& failure) {
    if (dataErrorHandler_) {
        Deliver([&] { dataErrorHandler_(this, failure); });
    }
}

}  // namespace quillon
