#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "hid/HidTypes.h"

namespace quillon::emu {

// What a device model may ask of the emulated bus that carries it.
class IDeviceModelHost {
  public:
    virtual ~IDeviceModelHost() = default;
    // Queues one input report (byte 0 = report ID) for every open reader; any thread.
    virtual void SendInputReport(std::span<const uint8_t> report) = 0;
    // Takes the device off the bus, as pulling its plug would.
    virtual void RequestUnplug() = 0;
};

// The firmware side of one emulated HID device: what it reports about itself and how it
// answers feature reports. The emulated backend and the test file system that serves a
// hidraw node both carry models of this kind.
class IDeviceModel {
  public:
    virtual ~IDeviceModel() = default;

    virtual HidIdentity Identity() const = 0;
    virtual std::u16string Manufacturer() const = 0;  // empty: the device has none
    virtual std::u16string Product() const = 0;
    virtual std::vector<uint8_t> ReportDescriptor() const = 0;

    // report[0] holds the report ID. false fails the transfer; errorCode (an errno value)
    // says why.
    virtual bool GetFeature(std::span<uint8_t> report, int& errorCode) = 0;
    virtual bool SetFeature(std::span<const uint8_t> report, int& errorCode) = 0;

    // Called by the bus when the model is plugged in (host set) and unplugged (nullptr).
    virtual void Attach(IDeviceModelHost* host) = 0;
};

}  // namespace quillon::emu
