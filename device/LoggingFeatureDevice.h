#pragma once

#include <span>
#include <string>

#include "hid/FeatureReportDevice.h"

namespace quillon {

// Passes every feature transfer on to a device and logs it (device category): the adapter's
// name, the direction, the bytes and the outcome, with the failure's own text. Costs nothing
// but a check while nobody listens.
class LoggingFeatureDevice final : public IFeatureReportDevice {
  public:
    LoggingFeatureDevice(IFeatureReportDevice& device, std::string name);

    HidResult<> GetFeatureReport(std::span<uint8_t> report) override;
    HidResult<> SetFeatureReport(std::span<const uint8_t> report) override;

  private:
    void LogTransfer(const char* direction, std::span<const uint8_t> report,
                     const HidResult<>& result) const;

    IFeatureReportDevice& device_;
    std::string name_;
};

}  // namespace quillon
