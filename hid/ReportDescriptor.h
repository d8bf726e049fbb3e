#pragma once

#include <cstdint>
#include <span>

#include "hid/HidTypes.h"

namespace quillon {

// Report byte lengths from a HID report descriptor: for each report type, the largest report
// over all report IDs, plus one byte for the report ID (counted even when the device uses no
// report IDs). The descriptor comes from a device and is not trusted: anything malformed
// (truncated items, unbalanced push/pop or collections, absurd sizes) gives all zeros.
HidCaps ParseReportDescriptorCaps(std::span<const uint8_t> descriptor);

// The byte length of one feature report, report ID byte included (report ID 0 for a device
// without IDs); 0 when the descriptor does not declare it or is malformed.
uint16_t FeatureReportLengthOf(std::span<const uint8_t> descriptor, uint8_t reportId);

// Whether the descriptor declares report IDs (any Report ID item). Devices without them send
// and receive reports without an ID byte on the wire. Stops quietly at a truncated item.
bool ReportDescriptorUsesReportIds(std::span<const uint8_t> descriptor);

}  // namespace quillon
