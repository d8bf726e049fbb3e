#pragma once

#include <map>
#include <mutex>
#include <vector>

#include "hid/emulated/DeviceModel.h"

namespace quillon::test {

// A small device model for the hidraw tests: fixed identity and descriptor, feature reports
// kept per report ID, every feature report set recorded, input reports sent on demand.
class TestHidModel : public emu::IDeviceModel {
  public:
    TestHidModel(HidIdentity identity, std::u16string manufacturer, std::u16string product,
                 std::vector<uint8_t> descriptor);

    HidIdentity Identity() const override { return identity_; }
    std::u16string Manufacturer() const override { return manufacturer_; }
    std::u16string Product() const override { return product_; }
    std::vector<uint8_t> ReportDescriptor() const override { return descriptor_; }
    bool GetFeature(std::span<uint8_t> report, int& errorCode) override;
    bool SetFeature(std::span<const uint8_t> report, int& errorCode) override;
    void Attach(emu::IDeviceModelHost* host) override;

    // The report that GetFeature answers for report (byte 0 is its ID).
    void StoreFeature(std::vector<uint8_t> report);
    std::vector<std::vector<uint8_t>> FeaturesSet() const;
    // false when the model is not plugged in.
    bool SendInput(const std::vector<uint8_t>& report);

  private:
    HidIdentity identity_;
    std::u16string manufacturer_;
    std::u16string product_;
    std::vector<uint8_t> descriptor_;
    mutable std::mutex mutex_;
    std::map<uint8_t, std::vector<uint8_t>> features_;
    std::vector<std::vector<uint8_t>> featuresSet_;
    emu::IDeviceModelHost* host_ = nullptr;
};

// The adapter's own descriptor, vendor-defined with report IDs: input length 9, feature
// length 65.
std::vector<uint8_t> VendorDescriptorWithReportIds();
// A boot keyboard, no report IDs: 8-byte input, 1-byte output (lengths 9 and 2).
std::vector<uint8_t> BootKeyboardDescriptor();

}  // namespace quillon::test
