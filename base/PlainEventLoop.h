#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "base/EventLoop.h"
#include "base/LoopWaiter.h"

namespace quillon {

// An event loop without a GUI toolkit, for tests and the command-line tool: a queue of posted
// tasks and a set of watched descriptors (or Windows objects), served by whoever calls RunOnce or
// RunUntil (the owning thread). Other threads may Post, which wakes the owner out of its wait.
class PlainEventLoop final : public IEventLoop {
  public:
    PlainEventLoop() = default;
    PlainEventLoop(const PlainEventLoop&) = delete;
    PlainEventLoop& operator=(const PlainEventLoop&) = delete;

    void Post(Task task) override;
    int WatchReadable(WaitableHandle source, Task onReadable) override;
    void Unwatch(int watchId) override;

    // Runs the tasks queued so far and the callbacks of readable descriptors. Waits at most
    // timeoutMs (negative: without limit) when there is nothing to run yet. Returns how many
    // tasks and callbacks ran.
    int RunOnce(int timeoutMs);
    // Runs queued tasks, including those they queue, until none is left; returns how many ran.
    int RunPending();
    // Runs the loop until done() holds or the time limit passes; returns done().
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    size_t PendingTasks() const;

  private:
    int RunQueuedTasks();

    struct Watch {
        WaitableHandle source;
        std::shared_ptr<Task> onReadable;
    };

    mutable std::mutex mutex_;
    std::deque<Task> tasks_;
    bool wakePending_ = false;
    LoopWaiter waiter_;
    std::map<int, Watch> watches_;  // owning thread only
    int nextWatchId_ = 1;
};

}  // namespace quillon
