#include "base/LoopWaiter.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "base/posix/UniqueFd.h"

namespace quillon {

// A non-blocking pipe: a byte in it is a pending wake-up.
struct LoopWaiter::Channel {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};

LoopWaiter::LoopWaiter() : channel_(std::make_unique<Channel>()) {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "event loop wake pipe");
    }
    channel_->readEnd.Reset(fds[0]);
    channel_->writeEnd.Reset(fds[1]);
}

LoopWaiter::~LoopWaiter() = default;

void LoopWaiter::Wake() {
    const char byte = 1;
    // A full pipe already wakes the owner, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(channel_->writeEnd.Get(), &byte, 1);
}

void LoopWaiter::ClearWake() {
    char buffer[64];
    while (read(channel_->readEnd.Get(), buffer, sizeof buffer) > 0) {
    }
}

std::vector<size_t> LoopWaiter::Wait(const std::vector<WaitableHandle>& sources, int timeoutMs) {
    std::vector<pollfd> fds;
    fds.push_back(pollfd{channel_->readEnd.Get(), POLLIN, 0});
    for (const int fd : sources) {
        fds.push_back(pollfd{fd, POLLIN, 0});
    }
    std::vector<size_t> ready;
    if (poll(fds.data(), fds.size(), timeoutMs) > 0) {
        for (size_t i = 1; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                ready.push_back(i - 1);
            }
        }
    }
    return ready;
}

}  // namespace quillon
