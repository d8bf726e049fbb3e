#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "base/Result.h"
#include "hid/HidTypes.h"

namespace quillon {

// The adapter this program configures; any other HID device is left alone.
inline constexpr uint16_t SupportedVendorID = 0x169B;
inline constexpr uint16_t SupportedProductID = 0x0110;

inline bool IsAdapter(const HidIdentity& identity) {
    return identity.VendorID == SupportedVendorID && identity.ProductID == SupportedProductID;
}

// The report buffer holds 65 bytes: a device announcing longer feature reports is served with
// their first 65 bytes, and the byte grid's 64 edits cover the data bytes of that.
inline constexpr size_t kMaxFeatureTransferLength = 65;
inline size_t LimitFeatureLength(size_t deviceLength) {
    return deviceLength < kMaxFeatureTransferLength ? deviceLength : kMaxFeatureTransferLength;
}

// The reset report, sent as 4 bytes whatever the device's feature report length.
inline constexpr uint8_t ResetReport[4] = {0x06, 0x00, 0x00, 0x00};

// What the window and the command-line tool say instead of writing to an adapter that another
// instance of this program is writing to.
inline constexpr std::string_view kAdapterBusyText = "the adapter is in use by another program";

// Why an operation on an adapter failed.
enum class AdapterError {
    NoAdapter,       // none attached, none that matches, or the adapter went away
    NoPermission,    // its node may not be read and written (the message is the advice)
    TransferFailed,  // a report failed, or the adapter did not do what it was told
    FileRefused,     // a configuration or update file missing, unreadable or unsound
    Busy,            // another program is writing to it; nothing was touched
    NotAllowed,      // the request breaks a rule of the adapter's; nothing was touched
};
template <class T = void>
using AdapterResult = Result<T, AdapterError>;

inline Failure<AdapterError> AdapterFailure(AdapterError error, std::string message) {
    return {error, std::move(message)};
}

}  // namespace quillon
