#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon {

// Unsigned integers read from a byte buffer in a file's own byte order, whatever the host's.
template <typename T>
T ReadUnsigned(const uint8_t* bytes, bool bigEndian) {
    T value = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        const size_t shift = 8 * (bigEndian ? sizeof(T) - 1 - i : i);
        value |= static_cast<T>(static_cast<T>(bytes[i]) << shift);
    }
    return value;
}

}  // namespace quillon
