#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// The two feature-report transfers of a device: all that the settings exchange and the
// firmware update need of it. byte 0 of the buffer is the report ID; length counts it and is
// passed through unchanged. true on success.
class IFeatureReportDevice {
  public:
    virtual ~IFeatureReportDevice() = default;
    virtual bool GetFeatureReport(uint8_t* buffer, size_t length) = 0;
    virtual bool SetFeatureReport(const uint8_t* buffer, size_t length) = 0;
};

}  // namespace quillon
