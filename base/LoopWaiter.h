#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/EventLoop.h"

namespace quillon {

// The blocking part of PlainEventLoop, one implementation per platform: waits until another
// thread wakes it, one of the watched sources is ready, or the time runs out.
class LoopWaiter {
  public:
    LoopWaiter();  // throws std::system_error when the wake-up channel cannot be made
    ~LoopWaiter();
    LoopWaiter(const LoopWaiter&) = delete;
    LoopWaiter& operator=(const LoopWaiter&) = delete;

    // Any thread: the current or next Wait returns at once.
    void Wake();
    // Owning thread: forgets the wake-ups so far (call before taking the queued tasks).
    void ClearWake();
    // Owning thread: the indices of the ready sources; empty after a time-out or a wake-up
    // alone. A negative timeoutMs waits without limit.
    std::vector<size_t> Wait(const std::vector<WaitableHandle>& sources, int timeoutMs);

  private:
    struct Channel;
    std::unique_ptr<Channel> channel_;
};

}  // namespace quillon
