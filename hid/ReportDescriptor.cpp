#include "hid/ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <vector>

namespace quillon {
namespace {

enum ReportType { InputReports, OutputReports, FeatureReports, ReportTypeCount };

struct GlobalState {
    uint32_t reportSize = 0;   // bits per field
    uint32_t reportCount = 0;  // fields
    uint32_t reportId = 0;
};

constexpr size_t kMaxPushDepth = 32;
constexpr size_t kMaxCollectionDepth = 64;
// A report must stay addressable by 16-bit byte lengths with its ID byte.
constexpr uint64_t kMaxReportBits = (0xFFFFull - 1) * 8;

uint32_t ItemValue(std::span<const uint8_t> data) {
    uint32_t value = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        value |= uint32_t(data[i]) << (8 * i);
    }
    return value;
}

// Bits per report ID, for each report type.
using ReportBits = std::array<std::map<uint32_t, uint64_t>, ReportTypeCount>;

// false when the descriptor is malformed.
bool ParseReportBits(std::span<const uint8_t> descriptor, ReportBits& bits) {
    const size_t size = descriptor.size();
    if (size == 0) {
        return false;
    }

    GlobalState global;
    std::vector<GlobalState> stack;
    size_t collectionDepth = 0;

    size_t pos = 0;
    while (pos < size) {
        const uint8_t prefix = descriptor[pos];
        if (prefix == 0xFE) {  // long item: size byte, tag byte, data; carries nothing we use
            if (size - pos < 3) {
                return false;
            }
            const size_t dataSize = descriptor[pos + 1];
            if (size - pos - 3 < dataSize) {
                return false;
            }
            pos += 3 + dataSize;
            continue;
        }
        static constexpr size_t kSizes[4] = {0, 1, 2, 4};
        const size_t dataSize = kSizes[prefix & 0x3];
        if (size - pos - 1 < dataSize) {
            return false;
        }
        const uint32_t value = ItemValue(descriptor.subspan(pos + 1, dataSize));
        const unsigned type = (prefix >> 2) & 0x3;
        const unsigned tag = prefix >> 4;
        pos += 1 + dataSize;

        if (type == 0) {  // main item
            int reportType = -1;
            switch (tag) {
                case 0x8:
                    reportType = InputReports;
                    break;
                case 0x9:
                    reportType = OutputReports;
                    break;
                case 0xB:
                    reportType = FeatureReports;
                    break;
                case 0xA:
                    if (++collectionDepth > kMaxCollectionDepth) {
                        return false;
                    }
                    break;
                case 0xC:
                    if (collectionDepth == 0) {
                        return false;
                    }
                    --collectionDepth;
                    break;
                default:
                    break;
            }
            if (reportType >= 0) {
                uint64_t& total = bits[reportType][global.reportId];
                total += uint64_t(global.reportSize) * global.reportCount;
                if (total > kMaxReportBits) {
                    return false;
                }
            }
        } else if (type == 1) {  // global item
            switch (tag) {
                case 0x7:
                    global.reportSize = value;
                    break;
                case 0x9:
                    global.reportCount = value;
                    break;
                case 0x8:
                    // Report ID 0 is reserved for devices that use no IDs at all.
                    if (value == 0 || value > 0xFF) {
                        return false;
                    }
                    global.reportId = value;
                    break;
                case 0xA:
                    if (stack.size() >= kMaxPushDepth) {
                        return false;
                    }
                    stack.push_back(global);
                    break;
                case 0xB:
                    if (stack.empty()) {
                        return false;
                    }
                    global = stack.back();
                    stack.pop_back();
                    break;
                default:
                    break;
            }
        }
        // Local items name usages only; reserved item types are ignored, as hosts do.
    }
    return collectionDepth == 0;
}

}  // namespace

HidCaps ParseReportDescriptorCaps(std::span<const uint8_t> descriptor) {
    ReportBits bits;
    if (!ParseReportBits(descriptor, bits)) {
        return HidCaps{};
    }
    auto byteLength = [](const std::map<uint32_t, uint64_t>& reports) -> uint16_t {
        uint64_t largest = 0;
        for (const auto& [id, reportBits] : reports) {
            largest = std::max(largest, (reportBits + 7) / 8);
        }
        return reports.empty() ? 0 : uint16_t(largest + 1);
    };
    HidCaps caps;
    caps.InputReportByteLength = byteLength(bits[InputReports]);
    caps.OutputReportByteLength = byteLength(bits[OutputReports]);
    caps.FeatureReportByteLength = byteLength(bits[FeatureReports]);
    return caps;
}

uint16_t FeatureReportLengthOf(std::span<const uint8_t> descriptor, uint8_t reportId) {
    ReportBits bits;
    if (!ParseReportBits(descriptor, bits)) {
        return 0;
    }
    const auto it = bits[FeatureReports].find(reportId);
    return it == bits[FeatureReports].end() ? 0 : uint16_t((it->second + 7) / 8 + 1);
}

bool ReportDescriptorUsesReportIds(std::span<const uint8_t> descriptor) {
    const size_t size = descriptor.size();
    constexpr uint8_t kReportIdItem = 0x84;  // global item, tag 8, any data size
    size_t pos = 0;
    while (pos < size) {
        const uint8_t prefix = descriptor[pos];
        size_t itemLength = 0;
        if (prefix == 0xFE) {
            if (size - pos < 3) {
                return false;
            }
            itemLength = 3 + size_t(descriptor[pos + 1]);
        } else {
            static constexpr size_t kSizes[4] = {0, 1, 2, 4};
            itemLength = 1 + kSizes[prefix & 0x3];
            if ((prefix & 0xFC) == kReportIdItem) {
                return true;
            }
        }
        if (size - pos < itemLength) {
            return false;
        }
        pos += itemLength;
    }
    return false;
}

}  // namespace quillon
