#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillon::firmware {

// The part of the adapter's flash that an update rewrites: device addresses 0x1400 to 0x3BFF,
// sent as 20 blocks of 512 bytes. Image offset k holds the byte for address kImageBase + k.
constexpr uint32_t kImageBase = 0x1400;
constexpr size_t kImageSize = 10240;
constexpr size_t kBlockSize = 512;
constexpr int kBlockCount = 20;
// Device blocks are counted in 512-byte steps from address 0, so image block b is device
// block b + 10.
constexpr int kFirstDeviceBlock = static_cast<int>(kImageBase / kBlockSize);
// Flash that no record supplies stays erased.
constexpr uint8_t kFillValue = 0xFF;

using FirmwareImage = std::array<uint8_t, kImageSize>;

}  // namespace quillon::firmware
