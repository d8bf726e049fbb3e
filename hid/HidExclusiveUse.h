#pragma once

#include "hid/HidDevice.h"

namespace quillon {

// Exclusive use of a device for one scope: taken at construction, given back at the end.
//
// Only Busy keeps the caller from writing. When the platform cannot tell (Failed: the device
// is gone, or its node lives where locks are not supported), the write goes ahead unguarded
// and fails or succeeds on its own, as before there was any exclusive use.
class THidExclusiveUse {
  public:
    // device may be null: nothing is taken, and the use is not busy.
    explicit THidExclusiveUse(THidDevice* device)
        : device_(device),
          result_(device != nullptr ? device->LockExclusive() : HidLockResult::Failed) {}
    ~THidExclusiveUse() {
        if (result_ == HidLockResult::Held) {
            device_->UnlockExclusive();
        }
    }
    THidExclusiveUse(const THidExclusiveUse&) = delete;
    THidExclusiveUse& operator=(const THidExclusiveUse&) = delete;

    // Another program (or another object for the same device) has it: write nothing.
    bool Busy() const { return result_ == HidLockResult::Busy; }

  private:
    THidDevice* device_;
    HidLockResult result_;
};

}  // namespace quillon
