#pragma once

#include <span>
#include <string>

#include "hid/FeatureReportDevice.h"
#include "hid/HidPlatform.h"

namespace quillon {

// Passes every feature transfer on to a device and logs it (device category): the adapter's
// name, the direction, the bytes and the outcome, with the platform's reason for a failure.
// Costs nothing but a check while nobody listens.
class LoggingFeatureDevice final : public IFeatureReportDevice {
  public:
    LoggingFeatureDevice(IFeatureReportDevice& device, IHidPlatform& platform, std::string name);

    bool GetFeatureReport(std::span<uint8_t> report) override;
    bool SetFeatureReport(std::span<const uint8_t> report) override;

    // The platform's text for the last failure on the calling thread.
    std::string LastErrorMessage() const;

  private:
    void LogTransfer(const char* direction, std::span<const uint8_t> report, bool ok) const;

    IFeatureReportDevice& device_;
    IHidPlatform& platform_;
    std::string name_;
};

}  // namespace quillon
