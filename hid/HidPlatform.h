#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/EventLoop.h"
#include "hid/HidError.h"
#include "hid/HidTypes.h"
#include "hid/ReportDescriptor.h"

namespace quillon {

// How a device interface is opened.
enum class HidAccess {
    ReadWrite,  // feature reports and everything else
    QueryOnly,  // identity, strings and descriptor only; feature requests fail
    Read,       // input reports only; the reader's handle
};

// Outcome of waiting for one input report; a broken handle (device gone) fails instead.
enum class HidWaitResult {
    Ready,    // a report can be read without blocking
    Timeout,  // the time limit passed
    Woken,    // WakeWait was called
};

// Outcome of asking a device object for exclusive use (THidDevice::LockExclusive).
enum class HidLockResult {
    Held,    // the object has it until its last UnlockExclusive or its release
    Busy,    // another handle has it, in this program or another one; nothing was changed
    Failed,  // the platform could not tell
};

// One open handle of a HID interface. Closing is destruction. Every operation that fails says
// why in its result, in the words of the backend that failed.
class IHidHandle {
  public:
    virtual ~IHidHandle() = default;

    virtual HidResult<HidIdentity> GetAttributes() = 0;
    // The device's raw report descriptor.
    virtual HidResult<std::vector<uint8_t>> GetReportDescriptor() = 0;
    // Report byte lengths, report ID byte included. By default parsed from the report
    // descriptor; a platform that knows them without it (Windows) answers itself.
    virtual HidResult<HidCaps> GetCaps() {
        const HidResult<std::vector<uint8_t>> descriptor = GetReportDescriptor();
        if (!descriptor) {
            return descriptor.Error();
        }
        return ParseReportDescriptorCaps(*descriptor);
    }
    // UTF-16 text without terminator; a failure when the device has none or it cannot be read.
    virtual HidResult<std::u16string> GetManufacturerString() = 0;
    virtual HidResult<std::u16string> GetProductString() = 0;

    // report[0] holds the report ID; the span's size counts it.
    virtual HidResult<> GetFeature(std::span<uint8_t> report) = 0;
    virtual HidResult<> SetFeature(std::span<const uint8_t> report) = 0;

    // Input reports (a handle opened with HidAccess::Read). WaitInput blocks for at most
    // timeoutMs; WakeWait, from any thread, ends a wait in progress (or the next one) at once.
    virtual HidResult<HidWaitResult> WaitInput(int timeoutMs) = 0;
    virtual void WakeWait() = 0;
    // Reads one waiting report into buffer, byte 0 being the report ID (0 for a device
    // without report IDs); returns the byte count.
    virtual HidResult<size_t> ReadInput(std::span<uint8_t> buffer) = 0;

    // Exclusive use of the device among those who ask for it too: every instance of this
    // program takes it before it writes to an adapter, so that two of them never interleave
    // their writes (two updates at once leave an adapter half written). It is advisory: it
    // keeps no one from opening the device or reading it. Never waits; a handle that already
    // holds it succeeds again. Fails with HidErrorKind::Busy while another handle holds it.
    // Closing the handle gives it up as Unlock does.
    virtual HidResult<> TryLockExclusive() = 0;
    virtual void Unlock() = 0;
};

// The platform's HID services. One place in the program picks the backend (Linux hidraw,
// Windows, emulated, or both); everything above uses only this interface.
class IHidPlatform {
  public:
    virtual ~IHidPlatform() = default;

    // The HID interfaces present now, in a stable order.
    virtual std::vector<THidPnPInfo> PresentInterfaces() = 0;

    // The handle, or why the interface cannot be opened with that access.
    virtual HidResult<std::unique_ptr<IHidHandle>> Open(const std::string& path,
                                                        HidAccess access) = 0;
    // The same for a device listed by PresentInterfaces, but only while its path still leads to
    // that device: where a path is handed to the next device once this one is gone, an open by
    // path alone could reach a stranger. Fails as gone when the path has moved on. Backends
    // whose paths are never reused need not override it.
    virtual HidResult<std::unique_ptr<IHidHandle>> OpenDevice(const THidPnPInfo& device,
                                                              HidAccess access) {
        return Open(device.InterfacePath, access);
    }

    // What a request to the device at path meets once the device is gone, in this backend's
    // own words: a device that the layer above knows to be unplugged reports it without asking
    // the platform again.
    virtual HidFailure GoneFailure(const std::string& path) = 0;

    // Calls onChange on the loop's thread whenever the set of HID devices may have changed.
    // Notifications may be coalesced; the watch ends when the returned object is destroyed.
    class Watch {
      public:
        virtual ~Watch() = default;
    };
    virtual std::unique_ptr<Watch> WatchDeviceChanges(IEventLoop& loop,
                                                      std::function<void()> onChange) = 0;
};

}  // namespace quillon
