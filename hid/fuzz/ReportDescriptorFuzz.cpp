// libFuzzer target: the report-descriptor parser on arbitrary bytes. The sanitizers judge.
#include <cstddef>
#include <cstdint>

#include "hid/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    quillon::ParseReportDescriptorCaps(data, size);
    quillon::ReportDescriptorUsesReportIds(data, size);
    return 0;
}
