#include "firmware/BlockChecksum.h"

namespace quillon::firmware {

uint16_t BlockChecksum(const uint8_t* data, size_t size) {
    uint16_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) {
            value = static_cast<uint16_t>(value << 1);
            if (value & 0x8000) {
                value ^= 0x1021;
            }
        }
    }
    return value;
}

uint16_t BlockChecksum(const FirmwareImage& image, int block) {
    return BlockChecksum(image.data() + size_t(block) * kBlockSize, kBlockSize);
}

}  // namespace quillon::firmware
