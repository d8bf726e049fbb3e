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

    HidIdentity Identity() const override { return Identity_; }
    std::u16string Manufacturer() const override { return Manufacturer_; }
    std::u16string Product() const override { return Product_; }
    std::vector<uint8_t> ReportDescriptor() const override { return Descriptor_; }
    bool GetFeature(uint8_t* buffer, size_t length, int& errorCode) override;
    bool SetFeature(const uint8_t* buffer, size_t length, int& errorCode) override;
    void Attach(emu::IDeviceModelHost* host) override;

    // The report that GetFeature answers for report (byte 0 is its ID).
    void StoreFeature(std::vector<uint8_t> report);
    std::vector<std::vector<uint8_t>> FeaturesSet() const;
    // false when the model is not plugged in.
    bool SendInput(const std::vector<uint8_t>& report);

  private:
    HidIdentity Identity_;
    std::u16string Manufacturer_;
    std::u16string Product_;
    std::vector<uint8_t> Descriptor_;
    mutable std::mutex Mutex_;
    std::map<uint8_t, std::vector<uint8_t>> Features_;
    std::vector<std::vector<uint8_t>> FeaturesSet_;
    emu::IDeviceModelHost* Host_ = nullptr;
};

// The adapter's own descriptor, vendor-defined with report IDs: input length 9, feature
// length 65.
std::vector<uint8_t> VendorDescriptorWithReportIds();
// A boot keyboard, no report IDs: 8-byte input, 1-byte output (lengths 9 and 2).
std::vector<uint8_t> BootKeyboardDescriptor();

}  // namespace quillon::test
