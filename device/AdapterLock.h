#pragma once

#include "hid/HidDevice.h"
#include "hid/HidPlatform.h"

namespace quillon {

// Exclusive use of one adapter among every program that asks for it too, whatever holds the
// adapter: a listed device object (the window, the command-line tool) or a handle of its own
// (a station's job).
class IAdapterLock {
  public:
    virtual ~IAdapterLock() = default;
    virtual HidLockResult Lock() = 0;
    virtual void Unlock() = 0;
};

class DeviceAdapterLock final : public IAdapterLock {
  public:
    explicit DeviceAdapterLock(THidDevice& device) : device_(device) {}
    HidLockResult Lock() override { return device_.LockExclusive(); }
    void Unlock() override { device_.UnlockExclusive(); }

  private:
    THidDevice& device_;
};

class HandleAdapterLock final : public IAdapterLock {
  public:
    explicit HandleAdapterLock(IHidHandle& handle) : handle_(handle) {}
    HidLockResult Lock() override {
        const HidResult<> locked = handle_.TryLockExclusive();
        if (locked) {
            return HidLockResult::Held;
        }
        return locked.Error().Error.Kind == HidErrorKind::Busy ? HidLockResult::Busy
                                                               : HidLockResult::Failed;
    }
    void Unlock() override { handle_.Unlock(); }

  private:
    IHidHandle& handle_;
};

}  // namespace quillon
