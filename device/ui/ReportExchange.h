#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "config/DeviceSettings.h"
#include "config/ui/SettingsTransfer.h"

namespace quillon {

class TDeviceList;
class THidDevice;

// Feature reports between the window's one report buffer and the adapter in use. The pages
// read and write through it; each step returns how it went.
class TReportExchange final : public ISettingsTransfer {
  public:
    TReportExchange(TDeviceList& devices, ReportBuffer& buffer);

    // A feature report with this ID from the selected device into the buffer, as long as the
    // device's feature report; NoDevice when no entry is selected.
    TransferResult ReadDeviceReport(uint8_t reportId);
    // The buffer, with this ID in byte 0, to the selected device.
    TransferResult WriteDeviceReport(uint8_t reportId);
    // The buffer as it is to the device last addressed (the raw-report page's Write).
    TransferResult WriteToCurrentDevice(size_t length);
    // The reset report to the selected device.
    TransferResult SendReset();

    // The device the last report operation addressed; forgotten at every device-list rebuild,
    // which destroys the device objects.
    THidDevice* AddressedDevice() const { return CurrentDevice; }
    void ForgetCurrentDevice() { CurrentDevice = nullptr; }

    TransferResult ReadSettings() override;
    TransferResult WriteSettings() override;

  private:
    // Makes the selected device the one addressed, with reportId in the buffer's byte 0; false
    // (and none addressed) when no entry is selected.
    bool AddressSelectedDevice(uint8_t reportId);
    static TransferResult ReadFrom(THidDevice* device, std::span<uint8_t> report);
    static TransferResult WriteTo(THidDevice* device, std::span<const uint8_t> report);

    TDeviceList& Devices;
    ReportBuffer& Buffer;
    THidDevice* CurrentDevice = nullptr;
};

}  // namespace quillon
