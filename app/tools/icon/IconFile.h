#pragma once

#include <cstdint>
#include <vector>

namespace quillon {

// One picture of an icon: its edge in pixels (at most 256) and its PNG file.
struct TIconPicture {
    int Size = 0;
    std::vector<uint8_t> Png;
};

// A Windows icon file (.ico) holding the pictures as PNG images, as Windows reads them since
// Vista: the header, one directory entry per picture, then the images themselves.
std::vector<uint8_t> IconFile(const std::vector<TIconPicture>& pictures);

}  // namespace quillon
