#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// Vendor ID, product ID and version number of a HID device, as its attributes report them.
struct HidIdentity {
    uint16_t VendorID = 0;
    uint16_t ProductID = 0;
    uint16_t VersionNumber = 0;
};

// Report byte lengths of a device, report ID byte included. All zero when the report
// descriptor could not be obtained or parsed.
struct HidCaps {
    uint16_t InputReportByteLength = 0;
    uint16_t OutputReportByteLength = 0;
    uint16_t FeatureReportByteLength = 0;

    bool operator==(const HidCaps&) const = default;
};

// One present HID interface as the platform lists it.
struct THidPnPInfo {
    std::string InterfacePath;    // what every open of the device uses
    uint32_t InstanceHandle = 0;  // stable for one physical device across scans
    // Where the device is plugged in, so that a person can find it: the USB port path ("1-2.3")
    // on Linux, the system's location of the device node on Windows. Empty when the platform
    // does not tell.
    std::string Location{};
};

}  // namespace quillon
