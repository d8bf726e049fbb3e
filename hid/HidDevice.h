#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "base/EventLoop.h"
#include "hid/ControllerError.h"
#include "hid/FeatureReportDevice.h"
#include "hid/HidHandlers.h"
#include "hid/HidPlatform.h"
#include "hid/HidTypes.h"

namespace quillon {

class THidDeviceReadThread;

// One HID interface that the platform reports as present. The controller creates it during a
// scan and owns it while it is checked in; a holder that checked it out owns it and gives it back
// by destroying it, which leaves a fresh checked-in twin in the controller's list while the device
// is still attached. Handles are opened lazily, only while the device is usable (attached, and
// checked out or being shown to an enumeration handler), and closed whenever it stops being so.
//
// Everything here runs on the thread that owns the controller, except what the reader uses from
// its own thread (the read handle and ReaderSleepTime).
class THidDevice : public IFeatureReportDevice {
  public:
    static constexpr size_t kMaxStringLength = 254;  // wide characters
    static constexpr int kMinReaderSleepTime = 10;
    static constexpr int kMaxReaderSleepTime = 10000;
    static constexpr int kDefaultReaderSleepTime = 100;

    THidDevice(const THidDevice&) = delete;
    THidDevice& operator=(const THidDevice&) = delete;
    // Release: stops the reader, closes the handles and, if the device is still listed by its
    // controller, puts a checked-in twin in its place (or removes the entry once it is unplugged).
    ~THidDevice() override;

    HidIdentity Identity;  // filled at creation

    // Report byte lengths, report ID byte included; all zero while the descriptor is unknown.
    HidCaps Capabilities();
    // At most kMaxStringLength characters, ending at an embedded null; empty when unavailable.
    std::u16string ManufacturerString();
    std::u16string ProductString();

    // Fails without a request when the device is not usable (gone, or checked in outside an
    // enumeration), and with the open's failure when it cannot be opened at all.
    HidResult<> GetFeatureReport(std::span<uint8_t> report) override;
    HidResult<> SetFeatureReport(std::span<const uint8_t> report) override;

    // Whether the last open obtained read and write access. When it did not, OpenFailure()
    // says why ("Permission denied" for a node the user may not write, of the kind
    // NoPermission) so the user can be told; while it did, OpenFailure() is empty (no message).
    bool CanReadWrite() const { return canReadWrite_; }
    const HidFailure& OpenFailure() const { return openFailure_; }

    const std::string& InterfacePath() const { return pnpInfo_.InterfacePath; }
    uint32_t InstanceHandle() const { return pnpInfo_.InstanceHandle; }
    // Where the device is plugged in, as the platform tells (THidPnPInfo::Location).
    const std::string& Location() const { return pnpInfo_.Location; }

    bool Attached() const { return attached_; }
    bool CheckedOut() const { return checkedOut_; }
    bool Enumerating() const { return enumerating_; }
    bool IsUsable() const { return attached_ && (checkedOut_ || enumerating_); }
    THidDeviceController* Controller() const { return controller_; }
    IHidPlatform& Platform() const { return platform_; }

    int ReaderSleepTime() const { return readerSleepTime_.load(std::memory_order_relaxed); }
    // Accepts kMinReaderSleepTime to kMaxReaderSleepTime; other values are ignored.
    void SetReaderSleepTime(int ms);

    const THidDataEvent& DataHandler() const { return dataHandler_; }
    // An empty handler stops the reader first; a set one starts it when the device qualifies.
    // The data and data-error handlers run while the reader waits for them; they may still
    // stop that reader (clear the data handler, or release the device): its thread then ends
    // from the loop once the handler has returned.
    void SetDataHandler(const THidDataEvent& handler);
    const THidDataErrorEvent& DataErrorHandler() const { return dataErrorHandler_; }
    void SetDataErrorHandler(const THidDataErrorEvent& handler) { dataErrorHandler_ = handler; }
    const THidPlugEvent& UnplugHandler() const { return unplugHandler_; }
    void SetUnplugHandler(const THidPlugEvent& handler) { unplugHandler_ = handler; }

    bool HasReader() const { return reader_ != nullptr; }

    // Exclusive use of the device against other programs (and other objects of this one for
    // the same device) that ask for it too; see IHidHandle::TryLockExclusive. Held through a
    // handle of its own, so that the handles opened and closed for transfers do not give it up.
    // Counted: while held, another LockExclusive is Held at once, and the device is given up
    // at the last UnlockExclusive (or its release). Failed when the device is not usable.
    HidLockResult LockExclusive();
    void UnlockExclusive();
    bool HoldsExclusive() const { return exclusiveCount_ > 0; }

    // The device is gone: closes its handles (waking the reader, which keeps running and
    // reporting errors until the holder releases the device), clears Attached and calls the
    // unplug handler, at most once in the device's life.
    void MarkUnplugged();

    void CloseDeviceHandle();
    void CloseReadHandle();

  private:
    friend class THidDeviceController;
    friend class THidDeviceReadThread;

    // Throws EControllerError when the interface cannot be opened or identified.
    THidDevice(const THidPnPInfo& info, THidDeviceController* controller, IHidPlatform& platform,
               IEventLoop& loop);

    HidResult<> EnsureDeviceHandle();
    bool OpenDeviceHandle();
    // What a request meets while the device is not usable.
    HidFailure UnusableFailure() const;
    HidResult<> LogTransfer(const char* direction, std::span<const uint8_t> report,
                            HidResult<> result) const;
    using StringQuery = HidResult<std::u16string> (IHidHandle::*)();
    std::u16string FetchString(std::u16string& cache, StringQuery query);
    void StartReader();
    void StopReader();

    // Reader side (reader thread): the read handle, opened on first use, shared with the reader so
    // that it is closed only once neither side uses it. A failure when the device cannot be read.
    HidResult<std::shared_ptr<IHidHandle>> AcquireReadHandle();
    // Reader thread: a handle whose wait or read failed is dropped so the next attempt reopens.
    void DiscardReadHandle(const std::shared_ptr<IHidHandle>& handle);

    // Owning thread, from the reader's hand-overs.
    void DeliverReport(std::span<const uint8_t> report);
    void DeliverError(const HidFailure& failure);
    template <typename Call>
    void Deliver(Call call);

    IHidPlatform& platform_;
    IEventLoop& loop_;
    THidDeviceController* controller_;
    bool attached_ = true;
    bool checkedOut_ = false;
    bool enumerating_ = false;
    std::unique_ptr<IHidHandle> deviceHandle_;
    THidPnPInfo pnpInfo_;
    std::u16string manufacturerString_;
    std::u16string productString_;
    std::optional<HidCaps> parsedDescriptor_;
    std::atomic<int> readerSleepTime_{kDefaultReaderSleepTime};
    THidDataEvent dataHandler_;
    THidDataErrorEvent dataErrorHandler_;
    THidPlugEvent unplugHandler_;
    bool canReadWrite_ = false;
    HidFailure openFailure_;
    std::unique_ptr<THidDeviceReadThread> reader_;
    // Set while a handler runs for the reader; the flag it points at is set when the handler
    // destroys the device.
    bool* delivering_ = nullptr;
    std::unique_ptr<IHidHandle> exclusiveHandle_;
    int exclusiveCount_ = 0;

    std::mutex readMutex_;  // guards the two fields below
    std::shared_ptr<IHidHandle> readHandle_;
    bool readable_ = true;  // false once unplugged
};

}  // namespace quillon
