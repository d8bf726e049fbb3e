#pragma once

#include <string>

namespace quillon {

// How one feature transfer with the adapter in use went.
enum class TransferOutcome {
    Done,
    NoDevice,     // no adapter listed: nothing was sent or read
    Failed,       // the adapter did not take or give the report
    AdapterBusy,  // another program is writing to the adapter: this write was left out
};

struct TransferResult {
    TransferOutcome Outcome = TransferOutcome::NoDevice;
    // Why it did not go through, in the words the windows show; empty when it did.
    std::string Reason;

    bool Ok() const { return Outcome == TransferOutcome::Done; }
};

// The adapter exchange the settings page needs, carried out on the report buffer the page was
// given; the device side of the window provides it.
class ISettingsTransfer {
  public:
    virtual ~ISettingsTransfer() = default;
    // Feature report 3 from the adapter in use into the buffer.
    virtual TransferResult ReadSettings() = 0;
    // The buffer to the adapter in use as feature report 3.
    virtual TransferResult WriteSettings() = 0;
};

}  // namespace quillon
