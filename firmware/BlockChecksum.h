#pragma once

#include <cstddef>
#include <cstdint>

#include "firmware/FirmwareImage.h"

namespace quillon::firmware {

// The adapter's 16-bit block checksum, polynomial 0x1021 from 0. Unlike the common CRC-16 it
// tests bit 15 after each shift instead of before it, so its values differ from that CRC's;
// the adapter computes it this way and its answer is compared with ours.
uint16_t BlockChecksum(const uint8_t* data, size_t size);

// Checksum of image block b (0 to 19).
uint16_t BlockChecksum(const FirmwareImage& image, int block);

}  // namespace quillon::firmware
