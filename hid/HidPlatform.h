#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hid/EventLoop.h"
#include "hid/HidTypes.h"
#include "hid/ReportDescriptor.h"

namespace quillon {

// How a device interface is opened.
enum class HidAccess {
    ReadWrite,  // feature reports and everything else
    QueryOnly,  // identity, strings and descriptor only; feature requests fail
    Read,       // input reports only; the reader's handle
};

// Outcome of waiting for one input report.
enum class HidWaitResult {
    Ready,    // a report can be read without blocking
    Timeout,  // the time limit passed
    Woken,    // WakeWait was called
    Failed,   // the handle is broken (device gone); the last error says why
};

// Outcome of asking for exclusive use of a device.
enum class HidLockResult {
    Held,    // this handle has it until Unlock or its closing
    Busy,    // another handle has it, in this program or another one; nothing was changed
    Failed,  // the platform could not tell; the last error says why
};

// One open handle of a HID interface. Closing is destruction. Every operation that fails
// leaves its error code in the platform's LastError() of the calling thread.
class IHidHandle {
  public:
    virtual ~IHidHandle() = default;

    virtual std::optional<HidIdentity> GetAttributes() = 0;
    // The device's raw report descriptor.
    virtual std::optional<std::vector<uint8_t>> GetReportDescriptor() = 0;
    // Report byte lengths, report ID byte included. By default parsed from the report
    // descriptor; a platform that knows them without it (Windows) answers itself.
    virtual std::optional<HidCaps> GetCaps() {
        const std::optional<std::vector<uint8_t>> descriptor = GetReportDescriptor();
        if (!descriptor) {
            return std::nullopt;
        }
        return ParseReportDescriptorCaps(*descriptor);
    }
    // UTF-16 text without terminator; nothing when the device has none or it cannot be read.
    virtual std::optional<std::u16string> GetManufacturerString() = 0;
    virtual std::optional<std::u16string> GetProductString() = 0;

    // report[0] holds the report ID; the span's size counts it.
    virtual bool GetFeature(std::span<uint8_t> report) = 0;
    virtual bool SetFeature(std::span<const uint8_t> report) = 0;

    // Input reports (a handle opened with HidAccess::Read). WaitInput blocks for at most
    // timeoutMs; WakeWait, from any thread, ends a wait in progress (or the next one) at once.
    virtual HidWaitResult WaitInput(int timeoutMs) = 0;
    virtual void WakeWait() = 0;
    // Reads one waiting report into buffer, byte 0 being the report ID (0 for a device
    // without report IDs); returns the byte count, or -1 on failure.
    virtual long ReadInput(std::span<uint8_t> buffer) = 0;

    // Exclusive use of the device among those who ask for it too: every instance of this
    // program takes it before it writes to an adapter, so that two of them never interleave
    // their writes (two updates at once leave an adapter half written). It is advisory: it
    // keeps no one from opening the device or reading it. Never waits; a handle that already
    // holds it gets Held again. Closing the handle gives it up as Unlock does.
    virtual HidLockResult TryLockExclusive() = 0;
    virtual void Unlock() = 0;
};

// The platform's HID services. One place in the program picks the backend (Linux hidraw,
// Windows, emulated, or both); everything above uses only this interface.
class IHidPlatform {
  public:
    virtual ~IHidPlatform() = default;

    // The HID interfaces present now, in a stable order.
    virtual std::vector<THidPnPInfo> PresentInterfaces() = 0;

    // nullptr when the interface cannot be opened with that access.
    virtual std::unique_ptr<IHidHandle> Open(const std::string& path, HidAccess access) = 0;
    // The same for a device listed by PresentInterfaces, but only while its path still leads to
    // that device: where a path is handed to the next device once this one is gone, an open by
    // path alone could reach a stranger. nullptr (ENODEV) when the path has moved on. Backends
    // whose paths are never reused need not override it.
    virtual std::unique_ptr<IHidHandle> OpenDevice(const THidPnPInfo& device, HidAccess access) {
        return Open(device.InterfacePath, access);
    }

    // Error code of the last failed operation on the calling thread, and its message text.
    virtual uint32_t LastError() = 0;
    virtual std::string ErrorMessage(uint32_t code) = 0;

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
