#include "info/ByteSource.h"

#include <cstring>

namespace quillon {

bool TMemoryByteSource::ReadAt(uint64_t offset, void* out, size_t length) {
    if (!RangeInside(offset, length, size_)) {
        return false;
    }
    if (length > 0) {
        std::memcpy(out, data_ + offset, length);
    }
    return true;
}

TFileByteSource::TFileByteSource(const std::string& path) : file_(path, std::ios::binary) {
    if (!file_.is_open()) {
        return;
    }
    file_.seekg(0, std::ios::end);
    const std::streamoff end = file_.tellg();
    if (end < 0) {
        file_.close();
        return;
    }
    size_ = static_cast<uint64_t>(end);
}

bool TFileByteSource::ReadAt(uint64_t offset, void* out, size_t length) {
    if (!file_.is_open() || !RangeInside(offset, length, size_)) {
        return false;
    }
    file_.clear();
    file_.seekg(static_cast<std::streamoff>(offset));
    file_.read(static_cast<char*>(out), static_cast<std::streamsize>(length));
    return file_.gcount() == static_cast<std::streamsize>(length);
}

}  // namespace quillon
