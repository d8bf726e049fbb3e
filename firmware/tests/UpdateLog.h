#pragma once

#include <vector>

#include "firmware/BlockChecksum.h"
#include "firmware/FirmwareImage.h"
#include "hid/emulated/QuillonAdapter.h"

namespace quillon::testing {

using Transfer = emu::AdapterTransfer;

inline Transfer SetReport(std::vector<uint8_t> bytes, bool ok = true) {
    const size_t length = bytes.size();
    return {Transfer::Direction::Set, std::move(bytes), length, ok};
}
inline Transfer GetReport(std::vector<uint8_t> bytes, bool ok = true) {
    const size_t length = bytes.size();
    return {Transfer::Direction::Get, std::move(bytes), length, ok};
}
inline Transfer StatusRead(uint8_t status = 1) {
    return GetReport({0x05, status});
}
inline Transfer Command(uint8_t code, uint8_t parameter) {
    return SetReport({0x02, code, parameter, 0x00});
}

// The 323 transfers of a successful update of this image, as the adapter sees them.
inline std::vector<Transfer> SuccessfulUpdateLog(const firmware::FirmwareImage& image) {
    using namespace firmware;
    std::vector<Transfer> log = {Command(0x34, 0)};
    for (int b = 0; b < kBlockCount; ++b) {
        const auto device = uint8_t(b + kFirstDeviceBlock);
        log.push_back(Command(0x01, device));
        log.push_back(StatusRead());
        log.push_back(Command(0x02, device));
        log.push_back(StatusRead());
        log.push_back(Command(0x03, device));
        for (size_t j = 0; j < 9; ++j) {
            std::vector<uint8_t> report(64, 0xFF);
            report[0] = 0x03;
            for (size_t i = 0; i < 63 && 63 * j + i < 512; ++i) {
                report[1 + i] = image[512 * b + 63 * j + i];
            }
            log.push_back(SetReport(report));
        }
        log.push_back(Command(0x04, 0));
        const uint16_t checksum = BlockChecksum(image, b);
        log.push_back(GetReport({0x04, uint8_t(checksum & 0xFF), uint8_t(checksum >> 8)}));
    }
    log.push_back(Command(0x06, 0));
    log.push_back(StatusRead());
    return log;
}

}  // namespace quillon::testing
