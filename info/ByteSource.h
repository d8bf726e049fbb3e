#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

namespace quillon {

// Random access to the bytes of a file or of a buffer. Readers of file formats go through it,
// so the same parsing code serves files on disk and fuzzing from memory.
class IByteSource {
  public:
    virtual ~IByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Copies exactly length bytes from offset; false (and nothing promised in out) when the
    // range does not lie wholly inside the source or the read fails.
    virtual bool ReadAt(uint64_t offset, void* out, size_t length) = 0;
};

class TMemoryByteSource : public IByteSource {
  public:
    TMemoryByteSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t length) override;

  private:
    const uint8_t* data_;
    size_t size_;
};

class TFileByteSource : public IByteSource {
  public:
    explicit TFileByteSource(const std::string& path);
    bool IsOpen() const { return file_.is_open(); }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t length) override;

  private:
    std::ifstream file_;
    uint64_t size_ = 0;
};

// Whether [offset, offset + length) lies inside [0, size), without overflowing.
inline bool RangeInside(uint64_t offset, uint64_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace quillon
