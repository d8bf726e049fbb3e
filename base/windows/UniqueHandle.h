#pragma once

#include <windows.h>

namespace quillon {

// Owns one Windows handle and closes it when it goes; INVALID_HANDLE_VALUE stands for none.
// The Windows side of UniqueFd.
class UniqueHandle {
  public:
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }

    // For a writer that must know whether the close went through. True when nothing was held.
    bool Close() {
        if (handle_ == INVALID_HANDLE_VALUE) {
            return true;
        }
        const bool ok = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE handle_;
};

}  // namespace quillon
