#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hid/emulated/DeviceModel.h"

namespace quillon::emu {

// A vendor-defined report descriptor with one report of each type that has a non-zero length
// (data bytes, report ID byte not counted). reportId 0: the device uses no report IDs.
std::vector<uint8_t> MakeVendorDescriptor(uint16_t inputBytes, uint16_t outputBytes,
                                          uint16_t featureBytes, uint8_t reportId = 0);

struct GenericDeviceConfig {
    HidIdentity Identity{0x1234, 0x5678, 0x0100};
    std::u16string Manufacturer = u"Emulated Devices";
    std::u16string Product = u"Emulated HID device";
    std::vector<uint8_t> Descriptor = MakeVendorDescriptor(8, 0, 64);
    // A feature report of an ID never stored or set stalls (EPIPE), as on a device that has no
    // such report, instead of reading as zeros.
    bool StallUnknownFeatures = false;
};

// Any HID device for tests: the identity, strings and descriptor it is given, and feature
// reports that keep what was last set for each report ID (zeros before). Input reports are sent
// with SendInput from any thread.
class GenericDevice final : public IDeviceModel {
  public:
    explicit GenericDevice(GenericDeviceConfig config = {});

    HidIdentity Identity() const override { return config_.Identity; }
    std::u16string Manufacturer() const override { return config_.Manufacturer; }
    std::u16string Product() const override { return config_.Product; }
    std::vector<uint8_t> ReportDescriptor() const override { return config_.Descriptor; }

    bool GetFeature(std::span<uint8_t> report, int& errorCode) override;
    bool SetFeature(std::span<const uint8_t> report, int& errorCode) override;
    void Attach(IDeviceModelHost* host) override;

    // The answer to a get of report[0], without counting as a report set.
    void StoreFeature(std::vector<uint8_t> report);
    // false when the device is not plugged in.
    bool SendInput(const std::vector<uint8_t>& report);
    bool Attached() const;
    // The feature reports set so far, in order.
    std::vector<std::vector<uint8_t>> SetReports() const;

  private:
    const GenericDeviceConfig config_;
    mutable std::mutex mutex_;
    IDeviceModelHost* host_ = nullptr;
    std::map<uint8_t, std::vector<uint8_t>> features_;
    std::vector<std::vector<uint8_t>> setReports_;
};

}  // namespace quillon::emu
