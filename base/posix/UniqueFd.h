#pragma once

#include <unistd.h>

#include <utility>

namespace quillon {

// Owns one POSIX file descriptor and closes it when it goes; -1 stands for none.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const noexcept { return fd_; }
    bool Valid() const noexcept { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int Release() noexcept { return std::exchange(fd_, -1); }

    // Closes the descriptor held, if any, and takes fd in its place.
    void Reset(int fd = -1) noexcept {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

    // For a writer that must know: a close can report a write that failed late (on network
    // file systems, for instance). True when nothing was held.
    bool Close() noexcept { return fd_ < 0 || ::close(Release()) == 0; }

  private:
    int fd_ = -1;
};

}  // namespace quillon
