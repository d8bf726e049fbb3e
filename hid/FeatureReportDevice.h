#pragma once

#include <cstdint>
#include <span>

#include "hid/HidError.h"

namespace quillon {

// The two feature-report transfers of a device: all that the settings exchange and the
// firmware update need of it. Byte 0 of the report is the report ID; the span's size counts it
// and is passed through unchanged. A failure says why, in the words of the layer that failed.
class IFeatureReportDevice {
  public:
    virtual ~IFeatureReportDevice() = default;
    virtual HidResult<> GetFeatureReport(std::span<uint8_t> report) = 0;
    virtual HidResult<> SetFeatureReport(std::span<const uint8_t> report) = 0;
};

}  // namespace quillon
