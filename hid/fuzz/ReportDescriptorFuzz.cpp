// libFuzzer target: the report-descriptor parser on arbitrary bytes. The sanitizers judge.
#include <cstddef>
#include <cstdint>
#include <span>

#include "hid/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> descriptor(data, size);
    quillon::ParseReportDescriptorCaps(descriptor);
    quillon::ReportDescriptorUsesReportIds(descriptor);
    return 0;
}
