#include "IconFile.h"

namespace quillon {

namespace {

void Append16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void Append32(std::vector<uint8_t>& out, uint32_t value) {
    Append16(out, value & 0xFFFF);
    Append16(out, value >> 16);
}

}  // namespace

std::vector<uint8_t> IconFile(const std::vector<TIconPicture>& pictures) {
    constexpr uint32_t kHeaderSize = 6;
    constexpr uint32_t kEntrySize = 16;
    std::vector<uint8_t> file;
    Append16(file, 0);  // reserved
    Append16(file, 1);  // an icon, not a cursor
    Append16(file, uint32_t(pictures.size()));

    uint32_t offset = kHeaderSize + kEntrySize * uint32_t(pictures.size());
    for (const TIconPicture& picture : pictures) {
        // A width and height of 256 do not fit the byte; 0 stands for them.
        const uint8_t edge = picture.Size >= 256 ? 0 : uint8_t(picture.Size);
        file.push_back(edge);
        file.push_back(edge);
        file.push_back(0);   // no palette
        file.push_back(0);   // reserved
        Append16(file, 1);   // colour planes
        Append16(file, 32);  // bits per pixel
        Append32(file, uint32_t(picture.Png.size()));
        Append32(file, offset);
        offset += uint32_t(picture.Png.size());
    }
    for (const TIconPicture& picture : pictures) {
        file.insert(file.end(), picture.Png.begin(), picture.Png.end());
    }
    return file;
}

}  // namespace quillon
